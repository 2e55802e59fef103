#pragma once
// A fresh folder for the sounds a test makes with sox (removed afterwards), and the measures
// that tell whether two sounds are the same.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/wavdecode.h"

namespace sauno::testing {

class SoxFiles {
public:
    SoxFiles()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "sauno-sound-XXXXXX").string();
        dir_ = mkdtemp(pattern.data());
    }
    ~SoxFiles() { std::filesystem::remove_all(dir_); }
    SoxFiles(const SoxFiles&) = delete;
    SoxFiles& operator=(const SoxFiles&) = delete;

    std::filesystem::path Path(const std::string& name) const { return dir_ / name; }
    // A shell command run in the folder; its exit status.
    int Run(const std::string& command) const
    {
        const int status = std::system(("cd '" + dir_.string() + "' && " + command).c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void Sox(const std::string& arguments) const { ASSERT_EQ(Run("sox -V1 " + arguments), 0) << arguments; }
    std::vector<uint8_t> Read(const std::string& name) const
    {
        std::ifstream in(Path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::string Text(const std::string& name) const
    {
        std::ifstream in(Path(name));
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    void Write(const std::string& name, const std::vector<uint8_t>& bytes) const
    {
        std::ofstream(Path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    platform::DecodedWav Wav(const std::string& name) const { return platform::DecodeWav(Read(name)); }

private:
    std::filesystem::path dir_;
};

// One channel of a decoded file, as -1…1.
inline std::vector<double> Channel(const platform::DecodedWav& w, int c)
{
    std::vector<double> out;
    for (size_t i = size_t(c); i < w.samples.size(); i += size_t(w.channels)) out.push_back(w.samples[i] / 32768.0);
    return out;
}

// 1 for the same sound at any loudness, over the shorter of the two.
inline double Correlation(const std::vector<double>& a, const std::vector<double>& b)
{
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) ab += a[i] * b[i], aa += a[i] * a[i], bb += b[i] * b[i];
    return ab / std::sqrt(aa * bb);
}

}  // namespace sauno::testing
