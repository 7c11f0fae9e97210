// CFile never waits: a pipe with no one at the other end (or a device) named like a file a
// folder search opens would otherwise hold the search for ever.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "TestSupport.h"
#include "platform/File.h"
#include "platform/Paths.h"

namespace {

TEST(File, APipeOpensAndReadsWithoutWaiting) {
  ::alarm(30);  // a blocking open or read would hang here: fail instead
  const kvtest::TempDir dir;
  const CString pipe = dir.File("pipe");
  ASSERT_EQ(::mkfifo(pipe.ToUtf8().c_str(), 0666), 0);
  // No reader: a write end is refused at once.
  CFile lonely;
  CFileException error;
  EXPECT_FALSE(lonely.Open(pipe, CFile::modeWrite, &error));
  EXPECT_EQ(error.m_lOsError, ENXIO);

  CFile reader;
  ASSERT_TRUE(reader.Open(pipe, CFile::modeRead));
  BYTE byte = 0;
  EXPECT_EQ(reader.Read(&byte, 1), 0u);  // no writer: the end
  CFile writer;
  ASSERT_TRUE(writer.Open(pipe, CFile::modeWrite));
  EXPECT_THROW(reader.Read(&byte, 1), CFileException);  // a writer that sends nothing
  writer.Write("k", 1);
  EXPECT_EQ(reader.Read(&byte, 1), 1u);
  EXPECT_EQ(byte, 'k');
  writer.Close();
  // The C stream the JPEG reader uses opens it without waiting too.
  std::FILE* stream = _wfopen(pipe, L"rb");
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(std::fgetc(stream), EOF);
  std::fclose(stream);
  ::alarm(0);
}

}  // namespace
