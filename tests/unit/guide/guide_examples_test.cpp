// Runs every example of the protocol guide (docs/protocol.md) through a real
// server, fed directly instead of over the network, so that the guide cannot
// drift from what the program does.
//
// An example is a fenced block marked `tavrin-example`. Each line is
// "word: value"; blank lines and lines starting with '#' are ignored.
//   given: ...       set-up of the fake desktop, before the first step
//   send: BYTES      one receive of these bytes (more than the buffer has room
//                    for arrives in several receives, as it would over TCP)
//   send-repeat: N BYTES   one receive of BYTES written N times over
//   close:           the connection ends; later sends come from a new phone
//   send 2:, send-repeat 2:, close 2:   the same on another phone's connection
//                    (a plain send: is phone 1)
//   expect: EVENT    an injected event, in the recording injector's words
//   expect: nothing  the step injects nothing and calls nothing
//   expect-repeat: N EVENT   N events alike
//   ui: CALL         a call of the user interface ("balloon [t] [u]", "shutdown")
//   desktop: CALL    a call of the desktop ("sysCommand f060", ...)
//   message: KIND P  a message the framing hands on: KIND is key, mos or line,
//                    P its payload (without the newline of a line)
// BYTES and P take the escapes \n \r \t \0 \\ and \xNN; a space at the end of
// them must be written \x20 so that no editor can strip it.
//
// Every step (an action and the expectation lines after it) is compared
// exactly: events, interface calls and desktop calls it does not list must not
// happen. Messages are compared only in examples that list any.
//
// A block marked `tavrin-discovery` shows the discovery datagram:
//   name: NAME              the computer's name
//   datagram: BYTES         the datagram made from it (escapes as above)
//   row: A mask M broadcast B   a row of the address table (B dotted, or a
//                           number for the field's raw value)
//   to: ADDRESS             the destinations, in order
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "actions/window_actions.h"
#include "server/discovery.h"
#include "support/server_pieces.h"
#include "support/fake_desktop.h"
#include "support/fakes.h"

#ifndef TAVRIN_GUIDE_PATH
#error "TAVRIN_GUIDE_PATH must name docs/protocol.md"
#endif

namespace tavrin {
namespace {

using Strings = std::vector<std::string>;

struct Step {
  enum Kind { Send, Close } kind = Send;
  int phone = 1;
  std::string bytes;
  int line = 0;
  bool nothing = false;
  Strings events, ui, desktop, messages;
};

struct Example {
  enum Kind { Stream, Discovery } kind = Stream;
  std::string name;
  int line = 0;  // of the opening fence
  std::string text;
  std::string error;  // set when the block cannot be read
  Strings given;
  std::vector<Step> steps;
  bool checksMessages = false;
  // Discovery examples.
  std::string computerName, datagram;
  std::vector<AddressRow> rows;
  Strings destinations;
};

// Test names and failure messages show the example by its name.
void PrintTo(const Example& example, std::ostream* out) { *out << example.name; }

struct Guide {
  bool read = false;
  std::string error;
  std::vector<Example> examples;
};

bool Decode(const std::string& in, std::string& out, std::string& error) {
  out.clear();
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '\\') {
      out += in[i];
      continue;
    }
    if (++i == in.size()) {
      error = "a backslash ends the text";
      return false;
    }
    switch (in[i]) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case '0': out += '\0'; break;
      case '\\': out += '\\'; break;
      case 'x': {
        const std::string hex = in.substr(i + 1, 2);
        if (hex.size() != 2 || !std::isxdigit(static_cast<unsigned char>(hex[0])) ||
            !std::isxdigit(static_cast<unsigned char>(hex[1]))) {
          error = "\\x needs two hex digits";
          return false;
        }
        out += static_cast<char>(std::strtol(hex.c_str(), nullptr, 16));
        i += 2;
        break;
      }
      default:
        error = std::string("unknown escape \\") + in[i];
        return false;
    }
  }
  return true;
}

std::string NameFrom(size_t index, const std::string& heading) {
  char number[8];
  std::snprintf(number, sizeof number, "%02zu", index + 1);
  std::string name = number;
  bool gap = true;
  for (char c : heading) {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      if (gap) name += '_';
      name += c;
      gap = false;
    } else {
      gap = true;
    }
  }
  return name;
}

// Fills `example` from the lines of its block; stops at the first fault.
void ParseBlock(Example& example, const std::vector<std::pair<int, std::string>>& lines) {
  bool anyExpectation = false;
  auto fail = [&](int line, const std::string& why) {
    if (example.error.empty()) example.error = "line " + std::to_string(line) + ": " + why;
  };
  for (const auto& [number, text] : lines) {
    if (text.empty() || text[0] == '#') continue;
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return fail(number, "expected \"word: value\"");
    std::string word = text.substr(0, colon);
    std::string value = text.substr(colon + 1);
    if (!value.empty() && value[0] == ' ') value.erase(0, 1);
    // "send 2" is a step of phone 2.
    int phone = 1;
    if (const size_t space = word.find(' '); space != std::string::npos) {
      phone = std::atoi(word.c_str() + space + 1);
      word.erase(space);
      if (phone < 1 || (word != "send" && word != "send-repeat" && word != "close"))
        return fail(number, "only send:, send-repeat: and close: name a phone");
    }

    if (word == "send" || word == "send-repeat") {
      if (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
        return fail(number, "write a space at the end as \\x20");
      Step step;
      step.line = number;
      step.phone = phone;
      std::string raw = value;
      int times = 1;
      if (word == "send-repeat") {
        const size_t space = value.find(' ');
        times = std::atoi(value.substr(0, space).c_str());
        if (space == std::string::npos || times <= 0) return fail(number, "send-repeat: needs a count and bytes");
        raw = value.substr(space + 1);
      }
      std::string bytes, why;
      if (!Decode(raw, bytes, why)) return fail(number, why);
      for (int i = 0; i < times; ++i) step.bytes += bytes;
      if (step.bytes.empty()) return fail(number, "nothing to send");
      example.steps.push_back(step);
    } else if (word == "close") {
      Step step;
      step.kind = Step::Close;
      step.line = number;
      step.phone = phone;
      example.steps.push_back(step);
    } else if (word == "given") {
      if (!example.steps.empty()) return fail(number, "given: must come before the first step");
      example.given.push_back(value);
    } else if (word == "expect" || word == "expect-repeat" || word == "ui" || word == "desktop" ||
               word == "message") {
      if (example.steps.empty()) return fail(number, word + ": before any send:");
      Step& step = example.steps.back();
      anyExpectation = true;
      if (word == "expect" && value == "nothing") {
        step.nothing = true;
      } else if (word == "expect") {
        step.events.push_back(value);
      } else if (word == "expect-repeat") {
        const size_t space = value.find(' ');
        const int times = std::atoi(value.substr(0, space).c_str());
        if (space == std::string::npos || times <= 0) return fail(number, "expect-repeat: needs a count and an event");
        for (int i = 0; i < times; ++i) step.events.push_back(value.substr(space + 1));
      } else if (word == "ui") {
        step.ui.push_back(value);
      } else if (word == "desktop") {
        step.desktop.push_back(value);
      } else {
        std::string decoded, why;
        if (!Decode(value, decoded, why)) return fail(number, why);
        step.messages.push_back(decoded);
        example.checksMessages = true;
      }
      if (step.nothing && (!step.events.empty() || !step.ui.empty() || !step.desktop.empty()))
        return fail(number, "expect: nothing beside other expectations");
    } else {
      return fail(number, "unknown word \"" + word + "\"");
    }
  }
  if (example.error.empty() && !anyExpectation) fail(example.line, "the example expects nothing at all");
}

bool ParseAddress(const std::string& text, uint32_t& address) {
  if (text.find('.') == std::string::npos) {
    // A bare number is the field's raw value, as Windows fills the broadcast
    // field (often with 1).
    char* end = nullptr;
    address = static_cast<uint32_t>(std::strtoul(text.c_str(), &end, 10));
    return !text.empty() && *end == '\0';
  }
  address = inet_addr(text.c_str());
  return text == "255.255.255.255" || address != INADDR_NONE;
}

std::string Dotted(uint32_t address) {
  const uint32_t host = ntohl(address);
  return std::to_string(host >> 24) + "." + std::to_string((host >> 16) & 0xFF) + "." +
         std::to_string((host >> 8) & 0xFF) + "." + std::to_string(host & 0xFF);
}

void ParseDiscoveryBlock(Example& example, const std::vector<std::pair<int, std::string>>& lines) {
  auto fail = [&](int line, const std::string& why) {
    if (example.error.empty()) example.error = "line " + std::to_string(line) + ": " + why;
  };
  bool haveDatagram = false;
  for (const auto& [number, text] : lines) {
    if (text.empty() || text[0] == '#') continue;
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return fail(number, "expected \"word: value\"");
    const std::string word = text.substr(0, colon);
    std::string value = text.substr(colon + 1);
    if (!value.empty() && value[0] == ' ') value.erase(0, 1);
    if (word == "name") {
      example.computerName = value;
    } else if (word == "datagram") {
      std::string why;
      if (!Decode(value, example.datagram, why)) return fail(number, why);
      haveDatagram = true;
    } else if (word == "row") {
      std::istringstream words(value);
      std::string address, maskWord, mask, broadcastWord, broadcast;
      AddressRow row;
      if (!(words >> address >> maskWord >> mask >> broadcastWord >> broadcast) || maskWord != "mask" ||
          broadcastWord != "broadcast" || !ParseAddress(address, row.address) || !ParseAddress(mask, row.mask) ||
          !ParseAddress(broadcast, row.broadcast))
        return fail(number, "expected \"row: ADDRESS mask MASK broadcast BROADCAST\"");
      example.rows.push_back(row);
    } else if (word == "to") {
      example.destinations.push_back(value);
    } else {
      return fail(number, "unknown word \"" + word + "\"");
    }
  }
  if (!haveDatagram || example.destinations.empty()) fail(example.line, "a datagram and its destinations are needed");
}

Guide ReadGuide() {
  Guide guide;
  std::ifstream in(TAVRIN_GUIDE_PATH);
  if (!in) {
    guide.error = std::string("cannot read ") + TAVRIN_GUIDE_PATH;
    return guide;
  }
  guide.read = true;
  std::string heading, text;
  int number = 0;
  bool inside = false;
  bool inOtherFence = false;
  Example current;
  std::vector<std::pair<int, std::string>> lines;
  while (std::getline(in, text)) {
    ++number;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (inside) {
      if (text.rfind("```", 0) == 0) {
        if (current.kind == Example::Discovery)
          ParseDiscoveryBlock(current, lines);
        else
          ParseBlock(current, lines);
        guide.examples.push_back(current);
        inside = false;
      } else {
        lines.emplace_back(number, text);
        current.text += text + "\n";
      }
      continue;
    }
    if (text.rfind("```", 0) == 0) {
      if (inOtherFence) {
        inOtherFence = false;
      } else if (text == "```tavrin-example" || text == "```tavrin-discovery") {
        inside = true;
        current = Example{};
        if (text == "```tavrin-discovery") current.kind = Example::Discovery;
        current.line = number;
        current.name = NameFrom(guide.examples.size(), heading);
        lines.clear();
      } else {
        inOtherFence = true;
      }
      continue;
    }
    if (!inOtherFence && text.rfind('#', 0) == 0) heading = text.substr(text.find_first_not_of('#'));
  }
  if (inside) guide.error = "the example opened at line " + std::to_string(current.line) + " is never closed";
  return guide;
}

const Guide& TheGuide() {
  static const Guide guide = ReadGuide();
  return guide;
}

std::vector<Example> Examples() { return TheGuide().examples; }

uint32_t StyleBit(const std::string& word, bool& known) {
  known = true;
  if (word == "visible") return kStyleVisible;
  if (word == "minimizebox") return kStyleMinimizeBox;
  if (word == "maximizebox") return kStyleMaximizeBox;
  if (word == "thickframe") return kStyleThickFrame;
  if (word == "maximize") return kStyleMaximize;
  known = false;
  return 0;
}

// Applies one given: line to the fakes; false for words it does not know.
bool Apply(const std::string& given, test::FakeDesktop& desktop) {
  std::istringstream words(given);
  std::string what;
  words >> what;
  if (what == "window") {
    // "window [style words] [ansi]": a foreground window, number 5.
    desktop.foreground = 5;
    desktop.style = 0;
    std::string word;
    while (words >> word) {
      bool known = false;
      if (word == "ansi") {
        desktop.unicode = false;
        continue;
      }
      desktop.style |= StyleBit(word, known);
      if (!known) return false;
    }
    return true;
  }
  if (what == "rect") return static_cast<bool>(words >> desktop.rect.left >> desktop.rect.top >> desktop.rect.right >> desktop.rect.bottom);
  if (what == "workarea") {
    Rect& area = desktop.workArea;
    return static_cast<bool>(words >> area.left >> area.top >> area.right >> area.bottom);
  }
  if (what == "zoomed") return desktop.zoomed = true;
  if (what == "iconic") return desktop.iconic = true;
  if (what == "caret") {
    desktop.guiInfoAvailable = true;
    return static_cast<bool>(words >> desktop.gui.caret);
  }
  if (what == "layouts") {
    desktop.layouts.clear();
    std::string hex;
    while (words >> hex) desktop.layouts.push_back(static_cast<uintptr_t>(std::strtoull(hex.c_str(), nullptr, 16)));
    return !desktop.layouts.empty();
  }
  if (what == "composition") {
    std::string state;
    words >> state;
    if (state != "on" && state != "off") return false;
    desktop.composition = state == "on";
    return true;
  }
  if (what == "program") {
    std::string path;
    std::getline(words >> std::ws, path);
    desktop.processPath.assign(path.begin(), path.end());
    return !path.empty();
  }
  if (what == "display") {
    // "display NAME [attached] [mirroring] [disconnected] [nomonitor]"
    std::string name, flag;
    if (!(words >> name)) return false;
    std::wstring wide(name.begin(), name.end());
    uint32_t flags = 0;
    while (words >> flag) {
      if (flag == "attached") flags |= 0x1;
      else if (flag == "mirroring") flags |= 0x8;
      else if (flag == "disconnected") flags |= 0x02000000;
      else if (flag == "nomonitor") desktop.withoutMonitor.push_back(wide);
      else return false;
    }
    desktop.displays.push_back(test::FakeDesktop::Display(wide.c_str(), flags));
    return true;
  }
  return false;
}

std::string Show(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    char escaped[8];
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\\') out += "\\\\";
    else if (c < 0x20 || c >= 0x7F) {
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

struct Seen : MessageObserver {
  Strings messages;
  void onMessage(char kind, const char* payload, int32_t length) override {
    const char* name = kind == 'k' ? "key" : kind == 'm' ? "mos" : "line";
    std::string text = name;
    if (length > 0) text += " " + std::string(payload, static_cast<size_t>(length));
    messages.push_back(text);
  }
};

class GuideExample : public ::testing::TestWithParam<Example> {};

TEST_P(GuideExample, DoesWhatTheGuideSays) {
  const Example& example = GetParam();
  SCOPED_TRACE("docs/protocol.md line " + std::to_string(example.line) + ":\n" + example.text);
  ASSERT_TRUE(example.error.empty()) << example.error;
  if (example.kind == Example::Discovery) {
    char datagram[kDatagramCapacity];
    const int32_t length = FormatDiscoveryDatagram(datagram, example.computerName.c_str(),
                                                   static_cast<int32_t>(example.computerName.size()));
    ASSERT_GE(length, 0);
    EXPECT_EQ(Show(std::string(datagram, static_cast<size_t>(length))), Show(example.datagram));
    // The limited broadcast first, then every row that gets one, in table order.
    Strings destinations{"255.255.255.255"};
    for (const AddressRow& row : example.rows) {
      uint32_t destination = 0;
      if (InterfaceBroadcastAddress(row, destination)) destinations.push_back(Dotted(destination));
    }
    EXPECT_EQ(destinations, example.destinations);
    return;
  }

  test::RecordingInjector injector;
  test::RecordingUserInterface ui;
  test::FakeDesktop desktop;
  Seen seen;
  for (const std::string& given : example.given) ASSERT_TRUE(Apply(given, desktop)) << "unknown given: " << given;

  Platform platform;
  platform.injector = &injector;
  platform.desktop = &desktop;
  platform.ui = &ui;
  platform.discoveryEnabled = false;
  platform.observer = &seen;
  test::ServerPieces server(platform);

  // Each phone's connection is registered with the table as a real one is,
  // so that a release by one phone is seen by the records of the others. The
  // handle is a UDP socket that never sends anything: it only has to be a
  // distinct handle that closing at the end is right for.
  std::map<int, ClientConnection*> phones;
  auto phone = [&](int number) -> ClientConnection* {
    ClientConnection*& connection = phones[number];
    if (!connection) {
      unique_socket handle(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
      if (!handle) return nullptr;
      connection = &server.connections.add(std::move(handle));  // the table closes and frees it
    }
    return connection;
  };

  size_t uiSeen = 0;
  for (const Step& step : example.steps) {
    SCOPED_TRACE("step at line " + std::to_string(step.line) + ", phone " + std::to_string(step.phone));
    desktop.calls.clear();
    seen.messages.clear();
    ClientConnection* connection = phone(step.phone);
    ASSERT_NE(connection, nullptr) << "no socket handle for a phone";
    if (step.kind == Step::Close) {
      // What the server does with a connection whose phone has gone.
      server.connections.drop(*connection);
      phones.erase(step.phone);
    } else {
      // The bytes arrive in as many receives as the buffer needs.
      const char* rest = step.bytes.data();
      int32_t left = static_cast<int32_t>(step.bytes.size());
      while (left > 0) {
        const int32_t taken = server.handler.feed(*connection, rest, left);
        ASSERT_GT(taken, 0) << "the server took no bytes";
        rest += taken;
        left -= taken;
      }
    }
    const Strings uiCalls = ui.calls();
    const Strings newUiCalls(uiCalls.begin() + static_cast<std::ptrdiff_t>(uiSeen), uiCalls.end());
    uiSeen = uiCalls.size();
    EXPECT_EQ(injector.take(), step.events) << "injected events after sending \"" << Show(step.bytes) << "\"";
    EXPECT_EQ(newUiCalls, step.ui) << "user interface calls";
    EXPECT_EQ(desktop.calls, step.desktop) << "desktop calls";
    if (example.checksMessages) EXPECT_EQ(seen.messages, step.messages) << "messages handed on";
  }
}

INSTANTIATE_TEST_SUITE_P(ProtocolGuide, GuideExample, ::testing::ValuesIn(Examples()),
                         [](const ::testing::TestParamInfo<Example>& info) { return info.param.name; });

TEST(ProtocolGuide, HasExamples) {
  const Guide& guide = TheGuide();
  ASSERT_TRUE(guide.read) << guide.error;
  EXPECT_TRUE(guide.error.empty()) << guide.error;
  // An extractor that silently finds nothing would make every other check pass.
  EXPECT_GE(guide.examples.size(), 30u) << "the guide's examples were not found";
}

}  // namespace
}  // namespace tavrin
