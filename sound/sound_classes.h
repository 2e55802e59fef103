#pragma once
// The sound classes' published properties for the scene-description reader.
namespace sauno {

// Registers "TSoundSample", "TSoundLibrary", "TSoundSource", "TSoundManager", "TSMFMOD" and the
// behaviour class "TBSoundEmitter", and the sound-file classes "TWAVFile" and "TMP3File".
void RegisterSoundClasses();

}  // namespace sauno
