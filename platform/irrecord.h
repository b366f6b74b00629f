// The device records of the infrared stand-in (irsock.h): one small text
// file per live device in a shared folder, which any process may have
// written, so every field is checked when read. A record that breaks any
// rule below is no device at all.
//
// A record "dev-<id as 8 hex digits>.txt" holds, one per line:
//   pid <n>                      0 for a bridge, which lives until removed
//   name <device name>
//   host <numeric address>
//   service <lsap> <port> <service name>
//   ias <class> <attribute> <hex bytes, or "-" for none>
// Lines with other keys are ignored.
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/irsock.h"

// Longest IAS value.
constexpr size_t kIrIasValueMax = 255;
// A larger file is not read as a record.
constexpr size_t kIrRecordMaxBytes = 4096;

struct IrIasEntry {
    std::string className;
    std::string attribute;
    std::vector<uint8_t> value;
};

struct IrDeviceRecord {
    uint32_t id = 0;
    uint32_t pid = 0;
    std::string name;
    std::string host = "127.0.0.1";
    int lsap = 0;
    uint16_t port = 0;
    std::string service;
    std::vector<IrIasEntry> ias;
};

// What a record can carry: a word (an address, a service, an IAS class or
// attribute) is not empty and holds no blank or control character; a text
// (a device name) holds no control character.
bool IrIsRecordWord(std::string_view text);
bool IrIsRecordText(std::string_view text);

// The record's text, which IrParseDeviceRecord reads back when its words and
// texts are as above and its numbers in their ranges.
std::string IrFormatDeviceRecord(const IrDeviceRecord& record);
// Reads the fields of a record's text (not its id). False when the text is
// longer than kIrRecordMaxBytes, has no service line, or any known line is
// malformed: a number that is not plain decimal digits or out of its range
// (pid 32 bits, lsap kIrLsapMin..kIrLsapMax, port 1..65535), a service name
// that is empty or longer than kIrServiceNameMax, a device name with a
// control character, an IAS value that is not whole hex pairs or longer than
// kIrIasValueMax bytes.
bool IrParseDeviceRecord(std::string_view text, IrDeviceRecord* record);

// The record file's name for a device id, and the id back from a name: only
// the exact form "dev-%08x.txt" with a nonzero id is a record.
std::string IrRecordFileName(uint32_t id);
bool IrParseRecordFileName(std::string_view fileName, uint32_t* id);

// The selector of a service name "LSAP-SEL<n>": n plain decimal digits in
// kIrLsapMin..kIrLsapMax. False for any other name.
bool IrParseLsapServiceName(std::string_view name, int* lsap);
