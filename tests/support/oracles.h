// Test helpers that ask tools no one here wrote about a file: run a command
// and take its output, read the PNM that djpeg writes, measure PSNR, and run
// a Pillow script with Debian's interpreter. The tools run natively only.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "imagelib/textutil.h"

namespace testing_support {

#ifndef _WIN32
// Standard output of a shell command (standard error dropped unless the
// command redirects it); `status` receives the exit status when given.
inline std::string RunCommand(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int rc = pclose(p);
    if (status) *status = rc;
    return out;
}

// Single-quoted for the shell.
inline std::string ShellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

// Runs a Python program with the interpreter that has Pillow.
inline std::string RunPillow(const std::string& program, int* status = nullptr) {
    return RunCommand("/usr/bin/python3 -c " + ShellQuote(program) + " 2>&1", status);
}
#endif

// A decoded binary PNM (P5 grey or P6 RGB), 8 bits a sample.
struct PnmImage {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<uint8_t> pixels;
};

// Parses the PNM djpeg writes; false when it is not one.
inline bool ParsePnm(const std::string& data, PnmImage* img) {
    if (data.size() < 2 || data[0] != 'P' || (data[1] != '5' && data[1] != '6')) return false;
    img->channels = data[1] == '5' ? 1 : 3;
    size_t pos = 2;
    long fields[3];
    for (long& f : fields) {
        while (pos < data.size() && (isspace(static_cast<unsigned char>(data[pos])) || data[pos] == '#')) {
            if (data[pos] == '#') {
                while (pos < data.size() && data[pos] != '\n') ++pos;
            } else {
                ++pos;
            }
        }
        f = 0;
        while (pos < data.size() && isdigit(static_cast<unsigned char>(data[pos]))) f = f * 10 + (data[pos++] - '0');
    }
    ++pos;  // the one whitespace byte after the maximum
    if (fields[2] != 255) return false;
    img->width = int(fields[0]);
    img->height = int(fields[1]);
    const size_t size = size_t(img->width) * size_t(img->height) * size_t(img->channels);
    if (pos > data.size() || data.size() - pos < size) return false;
    img->pixels.assign(data.begin() + long(pos), data.begin() + long(pos + size));
    return true;
}

// Peak signal-to-noise ratio of two sample arrays of equal size, in dB
// (1000 for identical arrays).
inline double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return 0;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        const double d = double(a[i]) - double(b[i]);
        sum += d * d;
    }
    if (sum == 0) return 1000;
    const double mse = sum / double(a.size());
    return 10 * std::log10(255.0 * 255.0 / mse);
}

#ifndef _WIN32
// A wide test path as the shell takes it.
inline std::string Narrow(const std::wstring& path) { return WideToUtf8(path.c_str()); }

// djpeg's decoding of a JPEG file (empty when it fails).
inline PnmImage Djpeg(const std::string& path) {
    PnmImage img;
    ParsePnm(RunCommand("djpeg -pnm " + ShellQuote(path) + " 2>/dev/null"), &img);
    return img;
}

// Pillow's view of a picture file: mode, size, interlace, transparency,
// comment, palette (first 17 entries) and the pixels in hex, one per line
// (bilevel pictures as bytes 0 and 255).
struct PillowView {
    std::vector<std::string> lines;
    std::string Line(size_t i) const { return i < lines.size() ? lines[i] : ""; }
    std::string mode() const { return Line(0); }
    std::string size() const { return Line(1); }
    std::string interlace() const { return Line(2); }
    std::string transparency() const { return Line(3); }
    std::string comment() const { return Line(4); }
    std::string palette() const { return Line(5); }
    std::vector<uint8_t> pixels() const {
        std::vector<uint8_t> out;
        const std::string hex = Line(6);
        for (size_t i = 0; i + 1 < hex.size(); i += 2)
            out.push_back(uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
        return out;
    }
};

inline PillowView Pillow(const std::string& path) {
    const std::string out = RunPillow(
        "from PIL import Image\n"
        "im = Image.open('" + path + "')\n"
        "print(im.mode)\n"
        "print('%dx%d' % im.size)\n"
        "print(im.info.get('interlace', 0))\n"
        "print(repr(im.info.get('transparency')))\n"
        "print(repr(im.info.get('Comment')))\n"
        "print(im.getpalette()[:51] if im.mode == 'P' else None)\n"
        "im.load()\n"
        "data = im.convert('L').tobytes() if im.mode == '1' else im.tobytes()\n"
        "print(data.hex())\n");
    PillowView v;
    size_t pos = 0;
    while (pos < out.size()) {
        const size_t nl = out.find('\n', pos);
        v.lines.push_back(out.substr(pos, nl - pos));
        if (nl == std::string::npos) break;
        pos = nl + 1;
    }
    return v;
}

inline bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
#endif

}  // namespace testing_support
