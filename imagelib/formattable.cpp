// The built-in picture formats, in registry order. A reader or writer is
// plugged in here and nowhere else.
#include "formats.h"
#include "readers/readers.h"
#include "writers.h"

// clang-format off
const FormatRow kBuiltinFormats[kBuiltinFormatCount] = {
    // flags  short    description                         avail    release  reader  writer  options  res load  extensions
    {0x1, "jpeg", "JPEG / JFIF",                   nullptr, nullptr, kReadJpeg, kWriteJpeg, kOptionsJpeg, 0, 0, {"jpg", "jpeg", "jif", "jfif", "J", "jpe"}},
    {0x1, "tga",  "Truevision Targa",              nullptr, nullptr, kReadTga,  kWriteTga,  nullptr,      0, 0, {"tga", "targa", "pix", "bpx", "ivb"}},
    {0x1, "bmp",  "Windows Bitmap",                nullptr, nullptr, kReadBmp,  kWriteBmp,  nullptr,      0, 0, {"bmp", "rle", "vga", "rl4", "rl8", "sys"}},
    {0x1, "gif",  "CompuServe GIF",                nullptr, nullptr, kReadGif,  kWriteGif,  kOptionsGif,  0, 0, {"gif", "giff"}},
    {0x1, "png",  "Portable Network Graphics",     nullptr, nullptr, kReadPng,  kWritePng,  kOptionsPng,  0, 0, {"png"}},
    {0,   "2bp",  "Pocket PC Bitmap",              nullptr, nullptr, kReadBmp,  nullptr,    nullptr,      0, 0, {"2bp"}},
    {0x1, "tiff", "TIFF Revision 6",               nullptr, nullptr, kReadTiff, nullptr,    nullptr,      0, 0, {"tif", "tim", "tiff"}},
    {0x1, "pcx",  "Zsoft Publisher's Paintbrush",  nullptr, nullptr, kReadPcx,  nullptr,    nullptr,      0, 0, {"pcx", "pcc", "dcx"}},
    {0x1, "pbm",  "Portable Bitmap",               nullptr, nullptr, kReadPnm,  nullptr,    nullptr,      0, 0, {"pbm", "rpbm", "ppma"}},
    {0x1, "pgm",  "Portable Greyscale",            nullptr, nullptr, kReadPnm,  nullptr,    nullptr,      0, 0, {"pgm", "rpgm"}},
    {0x1, "ppm",  "Portable Pixmap",               nullptr, nullptr, kReadPnm,  nullptr,    nullptr,      0, 0, {"ppm", "rppm"}},
    {0x1, "pnm",  "Portable Image",                nullptr, nullptr, kReadPnm,  nullptr,    nullptr,      0, 0, {"pnm", "rpnm", "pbm", "rpbm", "pgm", "rpgm", "ppm", "rppm"}},
    {0x1, "ico",  "Windows Icon",                  nullptr, nullptr, kReadIco,  nullptr,    nullptr,      0, 0, {"ico"}},
    {0x1, "psd",  "Adobe Photoshop",               nullptr, nullptr, kReadPsd,  nullptr,    nullptr,      0, 0, {"psd"}},
    {0,   "crw",  "Canon PowerShot",               nullptr, nullptr, kReadCrw,  nullptr,    nullptr,      0, 0, {"crw"}},
    {0,   "nef",  "Nikon RAW",                     nullptr, nullptr, kReadRaw,  nullptr,    nullptr,      0, 0, {"nef", "mos"}},
    {0,   "raf",  "Fuji S2 RAW",                   nullptr, nullptr, kReadRaw,  nullptr,    nullptr,      0, 0, {"raf"}},
    {0,   "mrw",  "Minolta DiMAGE RAW",            nullptr, nullptr, kReadRaw,  nullptr,    nullptr,      0, 0, {"mrw"}},
    {0,   "orf",  "Olympus RAW",                   nullptr, nullptr, kReadRaw,  nullptr,    nullptr,      0, 0, {"orf"}},
    {0,   "pef",  "Pentax *ist D",                 nullptr, nullptr, kReadRaw,  nullptr,    nullptr,      0, 0, {"pef"}},
    {0,   "srf2", "Sony DSC-F828 RAW",             nullptr, nullptr, kReadRaw,  nullptr,    nullptr,      0, 0, {"srf"}},
    {0,   "sr2",  "Sony RAW",                      nullptr, nullptr, kReadRaw,  nullptr,    nullptr,      0, 0, {"sr2", "arw"}},
    {0,   "srf",  "Panasonic DMC-LC1 RAW",         nullptr, nullptr, kReadRaw,  nullptr,    nullptr,      0, 0, {"srf"}},
    {0,   "x3f",  "Sigma RAW",                     nullptr, nullptr, kReadRaw,  nullptr,    nullptr,      0, 0, {"x3f"}},
    {0,   "cr2",  "Canon EOS-1D Mark II RAW",      nullptr, nullptr, kReadRaw,  nullptr,    nullptr,      0, 0, {"cr2"}},
    {0,   "dcr",  "Kodak Pro Digital RAW",         nullptr, nullptr, kReadRaw,  nullptr,    nullptr,      0, 0, {"dcr"}},
    {0,   "dng",  "DNG",                           nullptr, nullptr, kReadRaw,  nullptr,    nullptr,      0, 0, {"dng"}},
    {0,   "raw",  "Camera RAW",                    nullptr, nullptr, kReadRaw,  nullptr,    nullptr,      0, 0, {"raw"}},
};
// clang-format on
