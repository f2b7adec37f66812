#include "image/exr_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

// Reads and writes at offsets within the file, stops short at its end, and
// refuses offsets and sizes beyond what a file position or a size holds.
TEST(ExrStreamTest, ReadsAndWritesWithinBounds) {
  TempDir dir;
  ASSERT_TRUE(writeFileBytes(dir.file("f"), {1, 2, 3, 4, 5}));
  FileStream file;
  file.stream = std::fopen(dir.file("f").c_str(), "r+b");
  ASSERT_NE(file.stream, nullptr);
  ExrStream stream;
  stream.file = &file;
  const exr_context_initializer_t init = exrInitializer(&stream);
  EXPECT_EQ(init.user_data, &stream);
  EXPECT_EQ(init.flags, EXR_CONTEXT_FLAG_DISABLE_CHUNK_RECONSTRUCTION);
  EXPECT_EQ(init.size_fn(nullptr, &stream), 5);
  struct Case {
    uint64_t offset, size;
    int64_t read;  // the bytes read, or -1
    std::vector<uint8_t> bytes;
  };
  const uint64_t kPastPosition = uint64_t{1} << 63;
  const Case cases[] = {
      {1, 3, 3, {2, 3, 4}},
      {3, 4, 2, {4, 5}},
      {5, 2, 0, {}},
      {kPastPosition, 1, -1, {}},
      {0, kPastPosition + 1, -1, {}},
  };
  for (const Case& c : cases) {
    uint8_t buffer[8] = {};
    EXPECT_EQ(init.read_fn(nullptr, &stream, buffer, c.size, c.offset, nullptr),
              c.read)
        << c.offset;
    EXPECT_EQ(
        std::vector<uint8_t>(buffer, buffer + std::max<int64_t>(c.read, 0)),
        c.bytes)
        << c.offset;
  }
  const uint8_t two[] = {8, 9};
  EXPECT_EQ(init.write_fn(nullptr, &stream, two, 2, 4, nullptr), 2);
  EXPECT_EQ(init.write_fn(nullptr, &stream, two, 2, kPastPosition, nullptr),
            -1);
  EXPECT_EQ(init.write_fn(nullptr, &stream, two, kPastPosition, 0, nullptr),
            -1);
  std::fclose(file.stream);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(readFileBytes(dir.file("f"), &bytes));
  EXPECT_EQ(bytes, std::vector<uint8_t>({1, 2, 3, 4, 8, 9}));
}

// The library's first message, as one line, becomes the reason; without
// one its code's text does; a system failure names the file's own.
TEST(ExrStreamTest, FailuresSayWhy) {
  TempDir dir;
  FileStream file;
  file.path = dir.file("out.exr");
  file.stream = std::fopen(file.path.c_str(), "w+b");
  ASSERT_NE(file.stream, nullptr);
  ExrStream stream;
  stream.file = &file;
  exr_context_initializer_t init = exrInitializer(&stream);
  exr_context_t context = nullptr;
  ASSERT_EQ(exr_start_write(&context, file.path.c_str(),
                            EXR_WRITE_FILE_DIRECTLY, &init),
            EXR_ERR_SUCCESS);
  const std::string plain = exrFailure(stream, EXR_ERR_OUT_OF_MEMORY, true);
  EXPECT_EQ(plain, std::string("Malformed OpenEXR: ") +
                       exr_get_default_error_message(EXR_ERR_OUT_OF_MEMORY));
  init.error_handler_fn(context, EXR_ERR_CORRUPT_CHUNK, " bad\n\tchunk  at 9 ");
  init.error_handler_fn(context, EXR_ERR_CORRUPT_CHUNK, "a second one");
  exr_finish(&context);
  EXPECT_EQ(exrFailure(stream, EXR_ERR_CORRUPT_CHUNK, true),
            "Malformed OpenEXR: bad chunk at 9");
  EXPECT_EQ(exrFailure(stream, EXR_ERR_CORRUPT_CHUNK, false),
            "OpenEXR cannot be written: bad chunk at 9");
  file.systemFailure = true;
  file.failure = "No space left on device";
  EXPECT_EQ(exrFailure(stream, EXR_ERR_CORRUPT_CHUNK, false),
            outputWriteError(file));
  EXPECT_EQ(exrFailure(stream, EXR_ERR_CORRUPT_CHUNK, true),
            inputReadError(file));
  std::fclose(file.stream);
}

}  // namespace
