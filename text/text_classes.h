#pragma once
// The text classes for the scene-description reader.
namespace sauno {

// Registers TCustomBitmapFont, TBitmapFont, TWindowsBitmapFont, TBitmapFontRange and THUDText
// with their published properties.
void RegisterTextClasses();

}  // namespace sauno
