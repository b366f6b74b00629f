// The tag tables of IFD0 (and the thumbnail IFDs), the Exif sub-IFD, the
// Interoperability IFD and the GPS IFD, with their value names.
//
// Portable: no platform headers.
#include "exif_internal.h"

namespace {

const ValueName kOrientation[] = {{1, "top-left"},     {2, "top-right"}, {3, "bottom-right"},
                                  {4, "bottom-left"},  {5, "left-top"},  {6, "right-top"},
                                  {7, "right-bottom"}, {8, "left-bottom"}};
const ValueName kYCbCrPositioning[] = {{1, "centered"}, {2, "co-sited"}};

const TagRow kIfd0Rows[] = {
    {256, 0, 0, "Image width", nullptr, 0},
    {257, 0, 0, "Image length", nullptr, 0},
    {258, 0, 0, "Bits per sample", nullptr, 0},
    {259, 0, 0, "Compression", nullptr, 0},
    {262, 0, 0, "Photometric interpretation", nullptr, 0},
    {266, 0, 0, "Fill order", nullptr, 0},
    {269, 0, 0, "Document name", nullptr, 0},
    {270, 0, 0, "Image description", nullptr, 0},
    {271, 0, 0, "Camera Manufacturer", nullptr, 0},
    {272, 0, 0, "Camera Model", nullptr, 0},
    {273, 0, 0, "Strip offsets", nullptr, 0},
    {274, 0, 0, "Orientation", PV_VALUES(kOrientation)},
    {277, 0, 0, "Samples per pixel", nullptr, 0},
    {278, 0, 0, "Rows per strip", nullptr, 0},
    {279, 0, 0, "Strip byte counts", nullptr, 0},
    {282, 0, 0, "X Resolution", nullptr, 0},
    {283, 0, 0, "Y Resolution", nullptr, 0},
    {284, 0, 0, "Planar configuration", nullptr, 0},
    {296, 0, 0, "Resolution unit", nullptr, 0},
    {301, 0, 0, "Transfer function", nullptr, 0},
    {305, 0, 0, "Software", nullptr, 0},
    {306, 0, 0, "Date modified", nullptr, 0},
    {315, 0, 0, "Artist", nullptr, 0},
    {318, 0, 0, "White Point", nullptr, 0},
    {319, 0, 0, "Primary chromaticities", nullptr, 0},
    {342, 0, 0, "Transfer range", nullptr, 0},
    {512, 0, 0, "JPEGProc", nullptr, 0},
    {513, 0, 0, "Thumbnail offset", nullptr, 0},
    {514, 0, 0, "Thumbnail length", nullptr, 0},
    {529, 0, 0, "YCbCr Coefficients", nullptr, 0},
    {530, 0, 0, "YCbCr SubSampling", nullptr, 0},
    {531, 0, 0, "YCbCr Positioning", PV_VALUES(kYCbCrPositioning)},
    {532, 0, 0, "Reference black white", nullptr, 0},
    {40091, 0, 0, "XPTitle", nullptr, 0},
    {40092, 0, 0, "XPComment", nullptr, 0},
    {40093, 0, 0, "XPAuthor", nullptr, 0},
    {40094, 0, 0, "XPKeywords", nullptr, 0},
    {40095, 0, 0, "XPSubject", nullptr, 0},
};

const ValueName kExposureProgram[] = {
    {0, "Unidentified"},      {1, "Manual"},           {2, "Normal"},         {3, "Aperture priority"},
    {4, "Shutter priority"},  {5, "Creative (slow)"},  {6, "Action (high-speed)"},
    {7, "Portrait mode"},     {8, "Landscape mode"}};
const ValueName kMeteringMode[] = {{0, "Unknown"}, {1, "Average"},     {2, "Center weight"}, {3, "Spot"},
                                   {4, "Multi-spot"}, {5, "Multi-segment"}, {6, "Partial"}};
const ValueName kLightSource[] = {{0, "Unknown"},           {1, "Daylight"},          {2, "Fluorescent"},
                                  {3, "Tungsten"},          {17, "Standard light A"}, {18, "Standard light B"},
                                  {19, "Standard light C"}, {20, "D55"},              {21, "D65"},
                                  {22, "D75"}};
const ValueName kFocalPlaneUnit[] = {{1, "Inch"}, {2, "Inch"}, {3, "cm"}, {4, "mm"}, {5, "um"}};
const ValueName kSensingMethod[] = {{1, "Not defined"},
                                    {2, "One-chip color area sensor"},
                                    {3, "Two-chip color area sensor"},
                                    {4, "Three-chip color area sensor"},
                                    {5, "Color sequential area sensor"},
                                    {6, "Trilinear sensor"},
                                    {7, "Color sequential linear sensor"}};
const ValueName kCustomRendered[] = {{0, "Normal process"}, {1, "Custom process"}};
const ValueName kExposureMode[] = {{0, "Auto"}, {1, "Manual"}, {2, "Auto bracket"}};
const ValueName kWhiteBalance[] = {{0, "Auto"}, {1, "Manual"}};
const ValueName kSceneCapture[] = {{0, "Standard"}, {1, "Landscape"}, {2, "Portrait"}, {3, "Night scene"}};
const ValueName kGainControl[] = {
    {0, "None"}, {1, "Low gain up"}, {2, "High gain up"}, {3, "Low gain down"}, {4, "High gain down"}};
const ValueName kSoftHard[] = {{0, "Normal"}, {1, "Soft"}, {2, "Hard"}};
const ValueName kLowHigh[] = {{0, "Normal"}, {1, "Low"}, {2, "High"}};
const ValueName kDistanceRange[] = {{0, "Unknown"}, {1, "Macro"}, {2, "Close View"}, {3, "Distant View"}};

const TagRow kExifRows[] = {
    {33421, 0, 0, "CFA Repeat pattern dim", nullptr, 0},
    {33422, 0, 0, "CFA Pattern", nullptr, 0},
    {33423, 0, 0, "Battery level", nullptr, 0},
    {33432, 0, 0, "Copyright", nullptr, 0},
    {33434, 0, 0, "Exposure time [s]", nullptr, 0},
    {33437, 0, 0, "F-Number", nullptr, 0},
    {33723, 0, 0, "IPTC/NAA", nullptr, 0},
    {34665, 0, 0, "Exif offset", nullptr, 0},
    {34675, 0, 0, "Inter color profile", nullptr, 0},
    {34850, 0, 0, "Exposure program", PV_VALUES(kExposureProgram)},
    {34852, 0, 0, "Spectral sensitivity", nullptr, 0},
    {34853, 0, 0, "GPS info", nullptr, 0},
    {34855, 0, 0, "ISO speed ratings", nullptr, 0},
    {34856, 0, 0, "OECF", nullptr, 0},
    {36864, 0, 0, "EXIF version", nullptr, 0},
    {36867, 0, 0, "Date taken", nullptr, 0},
    {36868, 0, 0, "Date digitized", nullptr, 0},
    {37121, 0, 0, "Components configuration", nullptr, 0},
    {37122, 0, 0, "Compressed bits per pixel", nullptr, 0},
    {37377, 0, 0, "Shutter speed [s]", nullptr, 0},
    {37378, 0, 0, "Aperture", nullptr, 0},
    {37379, 0, 0, "Brightness", nullptr, 0},
    {37380, 0, 0, "Exposure bias value", nullptr, 0},
    {37381, 0, 0, "Max aperture", nullptr, 0},
    {37382, 0, 0, "Subject distance (m)", nullptr, 0},
    {37383, 0, 0, "Metering mode", PV_VALUES(kMeteringMode)},
    {37384, 0, 0, "Light source", PV_VALUES(kLightSource)},
    {37385, 0, 0, "Flash", nullptr, 0},
    {37386, 0, 0, "Focal length [mm]", nullptr, 0},
    {37500, 0, 0, "Maker note", nullptr, 0},
    {37510, 0, 0, "User comment", nullptr, 0},
    {37520, 0, 0, "SubSecTime", nullptr, 0},
    {37521, 0, 0, "SubSecTimeOriginal", nullptr, 0},
    {37522, 0, 0, "SubSecTimeDigitized", nullptr, 0},
    {40960, 0, 0, "FlashPix Version", nullptr, 0},
    {40961, 0, 0, "Colour space", nullptr, 0},
    {40962, 0, 0, "EXIF image width", nullptr, 0},
    {40963, 0, 0, "EXIF image length", nullptr, 0},
    {40965, 0, 0, "Interoperability offset", nullptr, 0},
    {41483, 0, 0, "Flash energy", nullptr, 0},
    {41484, 0, 0, "Spatial frequency response", nullptr, 0},
    {41486, 0, 0, "Focal plane X-Resolution", nullptr, 0},
    {41487, 0, 0, "Focal plane Y-Resolution", nullptr, 0},
    {41488, 0, 0, "Focal plane res. unit", PV_VALUES(kFocalPlaneUnit)},
    {41492, 0, 0, "Subject location", nullptr, 0},
    {41493, 0, 0, "Exposure index", nullptr, 0},
    {41495, 0, 0, "Sensing method", PV_VALUES(kSensingMethod)},
    {41728, 0, 0, "File source", nullptr, 0},
    {41729, 0, 0, "Scene type", nullptr, 0},
    {41730, 0, 0, "CFA Pattern", nullptr, 0},
    {41985, 0, 0, "Custom rendered", PV_VALUES(kCustomRendered)},
    {41986, 0, 0, "Exposure mode", PV_VALUES(kExposureMode)},
    {41987, 0, 0, "White balance", PV_VALUES(kWhiteBalance)},
    {41988, 0, 0, "Digital zoom", nullptr, 0},
    {41989, 0, 0, "Focal length (35mm)", nullptr, 0},
    {41990, 0, 0, "Scene capture type", PV_VALUES(kSceneCapture)},
    {41991, 0, 0, "Gain control", PV_VALUES(kGainControl)},
    {41992, 0, 0, "Contrast", PV_VALUES(kSoftHard)},
    {41993, 0, 0, "Saturation", PV_VALUES(kLowHigh)},
    {41994, 0, 0, "Sharpness", PV_VALUES(kSoftHard)},
    {41995, 0, 0, "Device Setting Description", nullptr, 0},
    {41996, 0, 0, "Subject distance range", PV_VALUES(kDistanceRange)},
    {42016, 0, 0, "Image unique ID", nullptr, 0},
};

const TagRow kIopRows[] = {
    {1, 0, 0, "IOP index", nullptr, 0},
    {2, 0, 0, "IOP version", nullptr, 0},
    {4097, 0, 0, "IOP width", nullptr, 0},
    {4098, 0, 0, "IOP height", nullptr, 0},
};

const ValueName kNorthSouth[] = {{78, "North"}, {83, "South"}};
const ValueName kEastWest[] = {{69, "East"}, {87, "West"}};
const ValueName kAltitudeRef[] = {{0, "Sea Level"}};
const ValueName kGpsStatus[] = {{65, "Measurement In Progress"}, {86, "Measurement Interoperability"}};
const ValueName kNorthRef[] = {{77, "Magnetic North"}, {84, "True North"}};
const ValueName kDifferential[] = {{0, "No Correction"}, {1, "Differential Corrected"}};

const TagRow kGpsRows[] = {
    {0, kTiffByte, 0, "Version ID", nullptr, 0},
    {1, kTiffAscii, 0, "Latitude Ref", PV_VALUES(kNorthSouth)},
    {2, kTiffRational, 0, "Latitude", nullptr, 0},
    {3, kTiffAscii, 0, "Longitude Ref", PV_VALUES(kEastWest)},
    {4, kTiffRational, 0, "Longitude", nullptr, 0},
    {5, 0, 0, "Haltitude Ref", PV_VALUES(kAltitudeRef)},
    {6, kTiffRational, 0, "Haltitude", nullptr, 0},
    {7, kTiffRational, 0, "TimeStamp", nullptr, 0},
    {8, kTiffAscii, 0, "Satellites", nullptr, 0},
    {9, kTiffAscii, 0, "Status", PV_VALUES(kGpsStatus)},
    {10, kTiffAscii, 0, "Measure Mode", nullptr, 0},
    {11, 0, 0, "DOP", nullptr, 0},
    {12, kTiffAscii, 0, "Speed Ref", nullptr, 0},
    {13, kTiffRational, 0, "Speed", nullptr, 0},
    {14, kTiffAscii, 0, "Track Ref", PV_VALUES(kNorthRef)},
    {15, 0, 0, "Track", nullptr, 0},
    {16, kTiffAscii, 0, "Img Direction Ref", nullptr, 0},
    {17, 0, 0, "Img Direction", nullptr, 0},
    {18, kTiffAscii, 0, "Map Datum", nullptr, 0},
    {19, kTiffAscii, 0, "Dest Latitude Ref", PV_VALUES(kNorthSouth)},
    {20, 0, 0, "Dest Latitude", nullptr, 0},
    {21, kTiffAscii, 0, "Dest Longitude Ref", PV_VALUES(kEastWest)},
    {22, 0, 0, "Dest Longitude", nullptr, 0},
    {23, kTiffAscii, 0, "Dest Bearing Ref", PV_VALUES(kNorthRef)},
    {24, 0, 0, "Dest Bearing", nullptr, 0},
    {25, kTiffAscii, 0, "Dest Distance Ref", nullptr, 0},
    {26, 0, 0, "Dest Distance", nullptr, 0},
    {27, 0, 0, "Processing Method", nullptr, 0},
    {28, 0, 0, "Area Information", nullptr, 0},
    {29, 0, 0, "Date Stamp", nullptr, 0},
    {30, 0, 0, "Differential", PV_VALUES(kDifferential)},
};

}  // namespace

const TagTable kIfd0Table = MakeTable(kIfd0Rows);
const TagTable kExifTable = MakeTable(kExifRows);
const TagTable kIopTable = MakeTable(kIopRows);
const TagTable kGpsTable = MakeTable(kGpsRows);
