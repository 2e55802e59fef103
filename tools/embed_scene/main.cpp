// Writes the scene description with its pictures embedded: every  picture"NAME"  of the template
// becomes the hex data of NAME.jpg from the picture directory, in the embedded picture form
// (1-byte class-name length, "TJPEGImage", 4-byte little-endian JPEG length, the JPEG file).
// Every  sound"NAME"  becomes the hex data of the sound file NAME from the sample directory, in the
// stored sample form (4-byte little-endian class-name length, "TWAVFile", the RIFF file).
//
//   embed_scene TEMPLATE PICTURE_DIR OUTPUT [SAMPLE_DIR]
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

bool ReadFile(const std::string& path, std::string& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream text;
    text << in.rdbuf();
    out = text.str();
    return static_cast<bool>(in) || in.eof();
}

std::string Hex(const std::vector<uint8_t>& bytes, const std::string& indent)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2 + bytes.size() / 32 * (indent.size() + 1));
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0 && i % 32 == 0) out += "\n" + indent;
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

std::vector<uint8_t> EmbeddedPicture(const std::string& jpeg)
{
    const std::string className = "TJPEGImage";
    std::vector<uint8_t> bytes;
    bytes.push_back(static_cast<uint8_t>(className.size()));
    bytes.insert(bytes.end(), className.begin(), className.end());
    const uint32_t length = static_cast<uint32_t>(jpeg.size());
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<uint8_t>(length >> shift));
    bytes.insert(bytes.end(), jpeg.begin(), jpeg.end());
    return bytes;
}

std::vector<uint8_t> EmbeddedSound(const std::string& riff)
{
    const std::string className = "TWAVFile";
    std::vector<uint8_t> bytes;
    const uint32_t length = static_cast<uint32_t>(className.size());
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<uint8_t>(length >> shift));
    bytes.insert(bytes.end(), className.begin(), className.end());
    bytes.insert(bytes.end(), riff.begin(), riff.end());
    return bytes;
}

// Replaces every  MARKER"NAME"  of `text` by hex"..." of what `embed` makes of the named file.
template <class Embed>
bool Replace(std::string& text, const std::string& marker, Embed embed)
{
    std::string out;
    size_t pos = 0;
    while (true) {
        size_t at = text.find(marker, pos);
        if (at == std::string::npos) break;
        size_t end = text.find('"', at + marker.size());
        if (end == std::string::npos) {
            std::fprintf(stderr, "embed_scene: unterminated name after %s\n", marker.c_str());
            return false;
        }
        std::vector<uint8_t> bytes;
        if (!embed(text.substr(at + marker.size(), end - at - marker.size()), bytes)) return false;
        const size_t lineStart = text.rfind('\n', at);
        std::string indent;
        for (size_t i = lineStart == std::string::npos ? 0 : lineStart + 1; i < at && text[i] == ' '; ++i) indent += ' ';
        out.append(text, pos, at - pos);
        out += "hex\"" + Hex(bytes, indent + "  ") + "\"";
        pos = end + 1;
    }
    out.append(text, pos, std::string::npos);
    text.swap(out);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: embed_scene TEMPLATE PICTURE_DIR OUTPUT [SAMPLE_DIR]\n");
        return 1;
    }
    std::string text;
    if (!ReadFile(argv[1], text)) {
        std::fprintf(stderr, "embed_scene: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::string pictureDir = argv[2];
    const bool pictures = Replace(text, "picture\"", [&](const std::string& name, std::vector<uint8_t>& bytes) {
        std::string jpeg;
        const std::string path = pictureDir + "/" + name + ".jpg";
        if (!ReadFile(path, jpeg) || jpeg.size() < 4) {
            std::fprintf(stderr, "embed_scene: cannot read the picture %s\n", path.c_str());
            return false;
        }
        bytes = EmbeddedPicture(jpeg);
        return true;
    });
    if (!pictures) return 1;
    const std::string sampleDir = argc == 5 ? argv[4] : "";
    const bool sounds = Replace(text, "sound\"", [&](const std::string& name, std::vector<uint8_t>& bytes) {
        std::string riff;
        const std::string path = sampleDir + "/" + name;
        if (sampleDir.empty() || !ReadFile(path, riff) || riff.size() < 12) {
            std::fprintf(stderr, "embed_scene: cannot read the sound %s\n", path.c_str());
            return false;
        }
        bytes = EmbeddedSound(riff);
        return true;
    });
    if (!sounds) return 1;
    const std::string& out = text;
    const std::string temporary = std::string(argv[3]) + ".part";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file << out;
        if (!file.flush()) {
            std::fprintf(stderr, "embed_scene: cannot write %s\n", temporary.c_str());
            return 1;
        }
    }
    if (std::rename(temporary.c_str(), argv[3]) != 0) {
        std::fprintf(stderr, "embed_scene: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
