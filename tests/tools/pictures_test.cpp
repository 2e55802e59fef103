// The painted pictures: decodable baseline JPEGs of the right sizes, the same
// bytes on every run, and a tool that fails cleanly.
#include <gtest/gtest.h>



#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Pictures.h"

namespace {

namespace fs = std::filesystem;

struct DecodedHeader {
  bool ok = false;
  int width = 0;
  int height = 0;
  int components = 0;
  bool progressive = false;
  bool baseline = false;
  double meanBrightness = 0.0;
  double brightnessSpread = 0.0;  // standard deviation of the grey level
};

struct DecoderError {
  jpeg_error_mgr manager{};
  std::jmp_buf jump{};
};

[[noreturn]] void onDecoderError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<DecoderError*>(info->err)->jump, 1);
}

// Decodes whole, so a broken stream anywhere in the file is noticed.
DecodedHeader decode(const std::vector<uint8_t>& bytes) {
  DecodedHeader result;
  jpeg_decompress_struct info{};
  DecoderError error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = onDecoderError;
  std::vector<uint8_t> row;
  double sum = 0.0, sumSquares = 0.0;
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&info);
    return DecodedHeader{};
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  result.width = static_cast<int>(info.image_width);
  result.height = static_cast<int>(info.image_height);
  result.components = info.num_components;
  result.progressive = info.progressive_mode != 0;
  // Baseline: sequential, Huffman coded, 8-bit samples, at most two tables of each kind.
  result.baseline = !info.progressive_mode && !info.arith_code && info.data_precision == 8 &&
                    info.dc_huff_tbl_ptrs[2] == nullptr && info.ac_huff_tbl_ptrs[2] == nullptr;
  info.out_color_space = JCS_GRAYSCALE;
  jpeg_start_decompress(&info);
  row.resize(static_cast<size_t>(info.output_width) * static_cast<size_t>(info.output_components));
  while (info.output_scanline < info.output_height) {
    JSAMPROW pointer = row.data();
    jpeg_read_scanlines(&info, &pointer, 1);
    for (uint8_t v : row) {
      sum += v;
      sumSquares += static_cast<double>(v) * v;
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  const double count = static_cast<double>(result.width) * result.height;
  result.meanBrightness = sum / count;
  result.brightnessSpread = std::sqrt(std::max(0.0, sumSquares / count - result.meanBrightness * result.meanBrightness));
  result.ok = true;
  return result;
}

std::vector<uint8_t> readFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

fs::path freshDirectory(const std::string& name) {
  const fs::path path = fs::temp_directory_path() / ("sauno_pictures_" + name + "_" + std::to_string(::getpid()));
  fs::remove_all(path);
  return path;
}

int runTool(const std::string& arguments) {
  const std::string command = std::string(MAKE_PICTURES_TOOL) + " " + arguments + " 2>/dev/null";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// One fresh run is compared with the run the build made.
TEST(Pictures, ToolWritesSevenBaselineColourJpegsOfTheExactSizesIdenticallyEachRun) {
  const fs::path first = freshDirectory("first");
  const fs::path second = BUILT_PICTURES_DIR;
  ASSERT_EQ(runTool(first.string()), 0);
  for (const pictures::PictureSize& size : pictures::kPictureSizes) {
    const std::string file = std::string(size.name) + ".jpg";
    SCOPED_TRACE(file);
    const std::vector<uint8_t> bytes = readFile(first / file);
    const DecodedHeader header = decode(bytes);
    ASSERT_TRUE(header.ok);
    EXPECT_EQ(header.width, size.width);
    EXPECT_EQ(header.height, size.height);
    EXPECT_EQ(header.components, 3);
    EXPECT_FALSE(header.progressive);
    EXPECT_TRUE(header.baseline);
    // Painted, not blank or flat: neither black nor white, with real contrast.
    EXPECT_GT(header.meanBrightness, 25.0);
    EXPECT_LT(header.meanBrightness, 200.0);
    EXPECT_GT(header.brightnessSpread, 8.0);
    EXPECT_EQ(bytes, readFile(second / file));
  }
  fs::remove_all(first);
}

TEST(Pictures, PaintingRejectsAnUnknownNameAndEncodingAnInconsistentCanvas) {
  EXPECT_THROW(pictures::paintPicture("sauna"), std::invalid_argument);
  pictures::Canvas broken{4, 4, std::vector<pictures::Colour>(15)};
  EXPECT_THROW(pictures::encodeJpeg(broken, 90), std::runtime_error);
  pictures::Canvas empty{};
  EXPECT_THROW(pictures::encodeJpeg(empty, 90), std::runtime_error);
}

TEST(Pictures, ToolFailsWithExitOneOnMissingArgumentOrUnwritableDirectory) {
  EXPECT_EQ(runTool(""), 1);
  EXPECT_EQ(runTool("a b"), 1);
  const fs::path blocker = freshDirectory("blocker");
  std::ofstream(blocker) << "a file, not a directory";
  EXPECT_EQ(runTool((blocker / "inside").string()), 1);
  fs::remove(blocker);
}

}  // namespace
