// JPEG encoding through libjpeg with an error manager that returns control,
// and writing the finished files.
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>

// jpeglib.h expects size_t and FILE declared before it.
#include <jpeglib.h>

#include "Noise.h"
#include "Pictures.h"

namespace pictures {
namespace {

struct EncoderError {
  jpeg_error_mgr manager{};
  std::jmp_buf jump{};
  char message[JMSG_LENGTH_MAX] = {};
};

[[noreturn]] void onEncoderError(j_common_ptr info) {
  auto* error = reinterpret_cast<EncoderError*>(info->err);
  info->err->format_message(info, error->message);
  std::longjmp(error->jump, 1);
}

uint8_t toByte(float v) {
  const float scaled = clamp01(v) * 255.0f + 0.5f;
  return static_cast<uint8_t>(scaled);
}

}  // namespace

std::vector<uint8_t> encodeJpeg(const Canvas& canvas, int quality) {
  if (canvas.width <= 0 || canvas.height <= 0 ||
      canvas.pixels.size() != static_cast<size_t>(canvas.width) * static_cast<size_t>(canvas.height)) {
    throw std::runtime_error("canvas size does not match its pixels");
  }
  // Converted before setjmp so no C++ object needing destruction is created
  // between the jump target and a possible longjmp.
  std::vector<uint8_t> rgb(canvas.pixels.size() * 3);
  for (size_t i = 0; i < canvas.pixels.size(); ++i) {
    rgb[i * 3 + 0] = toByte(canvas.pixels[i].r);
    rgb[i * 3 + 1] = toByte(canvas.pixels[i].g);
    rgb[i * 3 + 2] = toByte(canvas.pixels[i].b);
  }

  jpeg_compress_struct info{};
  EncoderError error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = onEncoderError;
  unsigned char* output = nullptr;
  unsigned long outputSize = 0;
  if (setjmp(error.jump)) {
    jpeg_destroy_compress(&info);
    std::free(output);
    throw std::runtime_error(std::string("JPEG encoder: ") + error.message);
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &output, &outputSize);
  info.image_width = static_cast<JDIMENSION>(canvas.width);
  info.image_height = static_cast<JDIMENSION>(canvas.height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);  // baseline sequential, YCbCr, integer DCT
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  const size_t stride = static_cast<size_t>(canvas.width) * 3;
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = rgb.data() + static_cast<size_t>(info.next_scanline) * stride;
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  std::vector<uint8_t> bytes(output, output + outputSize);
  jpeg_destroy_compress(&info);
  std::free(output);
  return bytes;
}

void writeAllPictures(const std::filesystem::path& outputDirectory) {
  std::error_code code;
  std::filesystem::create_directories(outputDirectory, code);
  if (code) {
    throw std::runtime_error("cannot create directory " + outputDirectory.string() + ": " + code.message());
  }
  // Each picture is independent, so they are painted side by side; the result
  // does not depend on the scheduling.
  std::vector<std::future<std::vector<uint8_t>>> encoded;
  for (const PictureSize& size : kPictureSizes) {
    encoded.push_back(std::async(std::launch::async, [name = size.name] {
      return encodeJpeg(paintPicture(name), kJpegQuality);
    }));
  }
  for (size_t i = 0; i < kPictureSizes.size(); ++i) {
    const std::vector<uint8_t> bytes = encoded[i].get();
    const std::filesystem::path path = outputDirectory / (std::string(kPictureSizes[i].name) + ".jpg");
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
      throw std::runtime_error("cannot write " + path.string());
    }
  }
}

}  // namespace pictures
