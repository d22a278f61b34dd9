#include <gtest/gtest.h>

#include "shell/peer_target.h"

namespace tavrin {
namespace {

TEST(PeerTarget, OpensLinksAndSafeLocalDocumentsOnly) {
  struct Case {
    const wchar_t* target;
    PeerTargetKind kind;
    const wchar_t* extension;
  };
  using K = PeerTargetKind;
  const Case cases[] = {
      {L"", K::Nothing, L""},
      {L"https://example.com/a?b=c", K::Link, L""},
      {L"HTTP://example.com", K::Link, L""},
      {L"MailTo:someone@example.com", K::Link, L""},
      {L"https://example.com/\" --flag", K::Refused, L""},  // would add an argument to the handler
      {L"https://example.com/a b", K::Refused, L""},
      {L"C:\\Users\\me\\report.PDF", K::Document, L"PDF"},
      {L"d:/notes/todo.txt", K::Document, L"txt"},
      {L"file:///C:/Users/me/photo.jpg", K::Document, L"jpg"},
      {L"FILE:///c:/x/a.docx", K::Document, L"docx"},
      // Programs, scripts and shortcuts, however written.
      {L"C:\\Windows\\System32\\cmd.exe", K::Refused, L""},
      {L"C:\\Windows\\System32\\CMD.EXE", K::Refused, L""},
      {L"C:\\Windows\\System32\\cmd.exe.", K::Refused, L""},
      {L"C:\\Windows\\System32\\cmd.exe ", K::Refused, L""},
      {L"C:\\x\\run.Bat", K::Refused, L""},
      {L"C:\\x\\setup.msi", K::Refused, L""},
      {L"C:\\x\\a.ps1", K::Refused, L""},
      {L"C:\\x\\Desktop.lnk", K::Refused, L""},
      {L"C:\\x\\a.txt:evil.exe", K::Refused, L""},
      {L"C:\\x\\a.txt::$DATA", K::Refused, L""},
      {L"C:\\x\\*.txt", K::Refused, L""},
      {L"C:\\x\\noextension", K::Refused, L""},
      {L"C:\\x.y\\noextension", K::Refused, L""},
      {L"file:///C:/Windows/System32/cmd.exe", K::Refused, L""},
      {L"file:///C:/Windows/System32/cmd%2Eexe", K::Refused, L""},
      // Other computers, other handlers, names looked up on the search path.
      {L"\\\\host\\share\\a.txt", K::Refused, L""},
      {L"//host/share/a.txt", K::Refused, L""},
      {L"\\\\?\\C:\\a.txt", K::Refused, L""},
      {L"file://host/share/a.txt", K::Refused, L""},
      {L"file:////host/share/a.txt", K::Refused, L""},
      {L"ms-settings:privacy", K::Refused, L""},
      {L"search-ms:query=x", K::Refused, L""},
      {L"javascript:alert(1)", K::Refused, L""},
      {L"cmd", K::Refused, L""},
      {L"notes.txt", K::Refused, L""},
      {L"C:notes.txt", K::Refused, L""},
      {L" https://example.com", K::Refused, L""},
      {L"C:\\x\\a\x01.txt", K::Refused, L""},
  };
  for (const Case& c : cases) {
    const PeerTarget t = ClassifyPeerTarget(c.target);
    EXPECT_EQ(t.kind, c.kind) << testing::PrintToString(std::wstring(c.target));
    EXPECT_EQ(t.extension, std::wstring_view(c.extension)) << testing::PrintToString(std::wstring(c.target));
  }
  EXPECT_EQ(ClassifyPeerTarget(L"d:/notes/todo.txt").drive, L'd');
}

}  // namespace
}  // namespace tavrin
