// make_pictures OUTDIR: paints the game's seven pictures into OUTDIR as JPEGs.
#include <exception>
#include <iostream>

#include "Pictures.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_pictures OUTDIR\n";
    return 1;
  }
  try {
    pictures::writeAllPictures(argv[1]);
  } catch (const std::exception& error) {
    std::cerr << "make_pictures: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
