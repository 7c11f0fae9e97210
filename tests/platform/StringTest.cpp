#include <gtest/gtest.h>

#include "platform/Paths.h"
#include "platform/String.h"

TEST(CStringFormat, WideSemanticsAndLongResults) {
  CString s;
  s.Format(L"正在保存图像文件%s，请稍侯...", CString(L"/图片/标题.tga"));
  EXPECT_EQ(s, L"正在保存图像文件/图片/标题.tga，请稍侯...");
  s.Format(L"%s|%S|%c|%C|%d|%5.2f|%%|%ls", L"wide", "narrow", L'张', 'n', -42, 3.14159, L"ls");
  EXPECT_EQ(s, L"wide|narrow|张|n|-42| 3.14|%|ls");
  s.Format(L"%d X %d (%d) %dKB %I64d", 1920, 1080, 32, 1536 / 1024,
           static_cast<long long>(1) << 40);
  EXPECT_EQ(s, L"1920 X 1080 (32) 1KB 1099511627776");
  // A result longer than any first guess is not cut.
  const CString part(std::wstring(5000, L'字'));
  s.Format(L"[%s][%s]", part, part);
  EXPECT_EQ(s.GetLength(), 10004);
  EXPECT_EQ(s.Right(2), L"字]");
}

TEST(CStringText, Utf8AndUtf16RoundTripsAndMalformedInput) {
  const CString s(L"Velmora 标题 \U0001F3AC");
  EXPECT_EQ(CString::FromUtf8(s.ToUtf8()), s);
  // Bytes that are not UTF-8 (a truncated sequence, an overlong encoding, a lone
  // continuation byte, a Latin-1 name) are escaped one by one and come back unchanged.
  EXPECT_EQ(CString::FromUtf8("a\xE6\xA0"), CString(L"a\xDCE6\xDCA0"));
  for (const std::string bytes :
       {"a\xE6\xA0", "\xC0\xAF", "\x80z", "out\xE9.bmp", "\xED\xB2\x80"}) {
    const CString wide = CString::FromUtf8(bytes);
    EXPECT_EQ(wide.ToUtf8(), bytes);
    EXPECT_EQ(KvFromUtf16(KvToUtf16(wide.Str())), wide.Str());
  }
  // A lone surrogate that is not an escaped byte has no UTF-8 form.
  EXPECT_EQ(CString(std::wstring(1, wchar_t(0xD800))).ToUtf8(), "\xEF\xBF\xBD");
  // Characters past 16 bits are surrogate pairs in UTF-16.
  const std::wstring wide = L"a\U0001F600b";
  const std::u16string u = KvToUtf16(wide);
  EXPECT_EQ(u, (std::u16string{u'a', 0xD83D, 0xDE00, u'b'}));
  EXPECT_EQ(KvFromUtf16(u), wide);
  EXPECT_EQ(KvFromUtf16(std::u16string{u'x', 0xD800}), L"x\uFFFD");
}

TEST(CStringText, EditingMembersStayInRange) {
  CString s(L"  photo.Tga \t");
  s.Trim();
  EXPECT_EQ(
      (std::vector<std::string>{s.ToUtf8(), s.Left(100).ToUtf8(), s.Mid(6).ToUtf8(),
                                s.Mid(-3, 2).ToUtf8(), s.Mid(50).ToUtf8(), s.Right(-1).ToUtf8()}),
      (std::vector<std::string>{"photo.Tga", "photo.Tga", "Tga", "ph", "", ""}));
  EXPECT_EQ(std::tuple(s.ReverseFind(L'.'), s.Find(L'x'), s.CompareNoCase(L"PHOTO.TGA")),
            std::tuple(5, -1, 0));
  EXPECT_LT(CString(L"a").CompareNoCase(L"B"), 0);
  EXPECT_GT(CString(L"b").CompareNoCase(L"A"), 0);
  EXPECT_EQ(CString(L"a,b,,c").Replace(L",", L";;"), 3);
}

// The four parts of a path, between bars.
std::wstring Split(const wchar_t* path) {
  wchar_t drive[_MAX_DRIVE], dir[_MAX_DIR], fname[_MAX_FNAME], ext[_MAX_EXT];
  _wsplitpath(path, drive, dir, fname, ext);
  return std::wstring(drive) + L"|" + dir + L"|" + fname + L"|" + ext;
}

TEST(Paths, SplitMakeAndCompareAsTheOriginalRuntimeDoes) {
  EXPECT_EQ(Split(L"/clips/title.0001.TGA"), L"|/clips/|title.0001|.TGA");
  EXPECT_EQ(Split(L"noext"), L"||noext|");
  // The extension is taken from the file name only, never from a folder.
  EXPECT_EQ(Split(L"/a.dir/name"), L"|/a.dir/|name|");
  EXPECT_EQ(Split(L"/x/.hidden"), L"|/x/||.hidden");
  // Long parts are cut to the buffers.
  const std::wstring longName(1000, L'n');
  wchar_t fname[_MAX_FNAME], ext[_MAX_EXT];
  _wsplitpath((L"/d/" + longName + L"." + longName).c_str(), nullptr, nullptr, fname, ext);
  EXPECT_EQ(std::wcslen(fname), static_cast<size_t>(_MAX_FNAME - 1));
  EXPECT_EQ(std::wcslen(ext), static_cast<size_t>(_MAX_EXT - 1));
  wchar_t out[_MAX_PATH];
  _wmakepath(out, L"", L"/clips", L"title0012", L"tga");
  EXPECT_STREQ(out, L"/clips/title0012.tga");
  _wmakepath(out, nullptr, L"/clips/", L"t", L".TGA");
  EXPECT_STREQ(out, L"/clips/t.TGA");
  _wmakepath(out, nullptr, L"", L"t12345", L".bmp");
  EXPECT_STREQ(out, L"t12345.bmp");
  EXPECT_EQ(_wcsicmp(L".tga", L".TGA"), 0);
  EXPECT_NE(_wcsicmp(L".tga", L".TGX"), 0);
  EXPECT_EQ(_wcsnicmp(L"ABCx", L"abcy", 3), 0);
  EXPECT_EQ(KvJoinPath(L"/a", L"b"), L"/a/b");
  EXPECT_EQ(KvJoinPath(L"/a/", L"b"), L"/a/b");
}
