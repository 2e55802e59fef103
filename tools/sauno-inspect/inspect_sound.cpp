// sauno-inspect sound FILE: the file read as a sound file of its extension, as a sample would hold it.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/exception.h"
#include "sound/soundlibrary.h"
#include "tools/sauno-inspect/inspect.h"

namespace sauno::inspect {

int Sound(std::string_view fileName)
{
    try {
        const std::filesystem::path path{std::string(fileName)};
        std::string extension = path.extension().string();
        if (!extension.empty()) extension.erase(0, 1);
        const TSoundFileFormat* format = TSoundFileFormatsList::Instance().FindExt(extension);
        if (!format) throw Exception("Unknown sound file extension \"" + extension + "\"");
        std::ifstream in(path, std::ios::binary);
        if (!in) throw Exception("File not found");
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (in.bad()) throw Exception("Cannot read " + path.string());
        std::unique_ptr<TSoundFile> file = CreateSoundFile(format->ClassName);
        file->LoadFromStream(bytes);
        TSoundSample sample;
        sample.Name = path.filename().string();
        sample.SetData(file.get());
        const auto* wav = dynamic_cast<const TWAVFile*>(file.get());
        std::printf("offset %d\ndatasize %zu\nsamplecount %lld\nduration %.2f\nname %s\n",
                    wav ? wav->SampleDataOffset() : 0, file->SampleDataSize(),
                    static_cast<long long>(file->SampleCount()), static_cast<double>(file->Duration()),
                    sample.DisplayName().c_str());
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}

}  // namespace sauno::inspect
