#include "linux/settings_files.h"

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "linux/xdg_places.h"

namespace tavrin {

namespace {

std::filesystem::path Folder() { return ConfigHome() / "tavrin"; }

std::string ReadAll(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string text;
  // Bounded: a full list is a few kilobytes.
  text.resize(AllowList::kTextCapacity * 2);
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  return text;
}

void WriteAll(const std::string& name, const std::string& text, Log& log) {
  if (!MakeFolder(Folder(), std::filesystem::perms::owner_all)) {
    log.write(LogLevel::Error, "cannot make %s", Folder().c_str());
    return;
  }
  // Written aside and renamed over, so that a crash never leaves half a list.
  const std::filesystem::path file = Folder() / name;
  const std::filesystem::path aside = Folder() / (name + ".new");
  std::ofstream out(aside, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  std::error_code error;
  if (out) std::filesystem::rename(aside, file, error);
  if (!out || error) log.write(LogLevel::Error, "cannot write %s", file.c_str());
}

}  // namespace

bool ReadAskFirst() { return ReadAll(Folder() / "ask-first").rfind("on", 0) == 0; }

void WriteAskFirst(bool on, Log& log) { WriteAll("ask-first", on ? "on\n" : "off\n", log); }

AllowList ReadAllowList() {
  const std::string text = ReadAll(Folder() / "allowed-phones");
  // Lines become the zero-separated entries the list reads.
  std::vector<wchar_t> units;
  for (const char c : text) units.push_back(c == '\n' ? L'\0' : static_cast<wchar_t>(static_cast<unsigned char>(c)));
  units.push_back(L'\0');
  return AllowList::parse(units.data(), units.size());
}

void WriteAllowList(const AllowList& list, Log& log) {
  std::vector<wchar_t> units(AllowList::kTextCapacity);
  const size_t written = list.format(units.data(), units.size());
  std::string text;
  // Every entry ends with its zero; the closing zero ends the list.
  for (size_t i = 0; i + 1 < written; ++i) text += units[i] == L'\0' ? '\n' : static_cast<char>(units[i]);
  WriteAll("allowed-phones", text, log);
}

}  // namespace tavrin
