#include "util/registry.h"

#include <gtest/gtest.h>

#include "util/error.h"

namespace qc {
namespace {

TEST(GetFileNamePart, TakesTheTextAfterTheLastSeparator) {
  EXPECT_EQ(GetFileNamePart("C:\\Mail\\Inbox.mbx", '\\'), "Inbox.mbx");
  EXPECT_EQ(GetFileNamePart("Inbox.mbx", '\\'), "Inbox.mbx");
  EXPECT_EQ(GetFileNamePart("C:\\Mail\\", '\\'), "");
  EXPECT_EQ(GetFileNamePart("a/b.mbx", '\\'), "a/b.mbx");  // only the given separator splits
  EXPECT_EQ(GetFileNamePart("/home/u/Mail/In box.mbox", '/'), "In box.mbox");
  EXPECT_THROW(GetFileNamePart(""), Error);
}

TEST(AddSeparator, AppendsOnlyWhenMissing) {
  EXPECT_EQ(AddSeparator("D:\\Out", '\\'), "D:\\Out\\");
  EXPECT_EQ(AddSeparator("D:\\Out\\", '\\'), "D:\\Out\\");
  EXPECT_EQ(AddSeparator("", '/'), "/");
}

TEST(TrimSpaces, RemovesOnlyPlainSpaces) {
  EXPECT_EQ(TrimSpaces("  a b  "), "a b");
  EXPECT_EQ(TrimSpaces("\ta\t"), "\ta\t");
  EXPECT_EQ(TrimSpaces("    "), "");
}

}  // namespace
}  // namespace qc
