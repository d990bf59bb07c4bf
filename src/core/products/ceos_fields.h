#pragma once
// CEOS record layouts shared by the product readers and the product writer:
// the leader record map, the fixed-width ASCII fields the readers decode, the
// 12-byte record header, and field parsing and formatting.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessarin::products::ceos {

// Every CEOS record starts with a 12-byte big-endian header.
inline constexpr std::size_t kRecordHeaderBytes = 12;
inline constexpr std::size_t kSequenceOffset = 0;   // record sequence number (uint32)
inline constexpr std::size_t kTypeCodeOffset = 4;   // subtype 1, type, subtype 2, subtype 3
inline constexpr std::size_t kLengthOffset = 8;     // record length including the header (uint32)

struct TypeCode {
    std::uint8_t subtype1 = 0, type = 0, subtype2 = 0, subtype3 = 0;
};

struct RecordHeader {
    std::uint32_t sequence = 0;
    TypeCode code;
    std::uint32_t length = 0;
};

RecordHeader readRecordHeader(std::span<const std::uint8_t> record);
void writeRecordHeader(std::span<std::uint8_t> record, const RecordHeader& header);

enum class LeaderRecord : std::uint8_t {
    FileDescriptor,
    DataSetSummary,
    MapProjection,
    PlatformPosition,
    Attitude,
    Radiometric,
    DataQuality,
    Facility1,
    Facility2,
    Facility3,
    Facility4,
    Facility5,
};
inline constexpr std::size_t kLeaderRecordCount = 12;

struct RecordLayout {
    LeaderRecord id;
    const char* name;
    std::uint32_t length;  // bytes, header included
    TypeCode code;
    // Whether the type code identifies the record reliably enough to check it
    // when the records have to be found by walking their headers.
    bool checkType;
    // A walk refuses the record when its header gives another length (the
    // lengths that tell the generations apart).
    bool exactLength = false;
    // The last record of the file: a walk passes over any records before it,
    // and a record cut short by the end of the file is read as far as it
    // goes, provided it holds usedBytes.
    bool lastInFile = false;
    std::uint32_t usedBytes = 0;
};

// In file order. Level 1.1 products carry no map projection record.
inline constexpr std::array<RecordLayout, kLeaderRecordCount> kLeaderRecords{{
    {LeaderRecord::FileDescriptor, "leader file descriptor", 720, {11, 192, 18, 18}, true},
    {LeaderRecord::DataSetSummary, "data set summary", 4096, {18, 10, 18, 20}, true},
    {LeaderRecord::MapProjection, "map projection data", 1620, {18, 20, 18, 20}, true},
    {LeaderRecord::PlatformPosition, "platform position data", 4680, {18, 30, 18, 20}, true},
    {LeaderRecord::Attitude, "attitude data", 16384, {18, 40, 18, 20}, true},
    {LeaderRecord::Radiometric, "radiometric data", 9860, {18, 50, 18, 20}, true},
    {LeaderRecord::DataQuality, "data quality summary", 1620, {18, 60, 18, 20}, true},
    {LeaderRecord::Facility1, "facility related data 1", 325000, {18, 200, 18, 50}, false},
    {LeaderRecord::Facility2, "facility related data 2", 511000, {18, 200, 18, 50}, false},
    {LeaderRecord::Facility3, "facility related data 3", 3072, {18, 200, 18, 50}, false},
    {LeaderRecord::Facility4, "facility related data 4", 728000, {18, 200, 18, 50}, false},
    {LeaderRecord::Facility5, "facility related data 5", 5000, {18, 200, 18, 50}, false},
}};

// First-generation PALSAR leaders: the same records up to the data quality
// summary, a shorter attitude record and shifted positions after it; then one
// long facility record (or, in some products, several) and the record of the
// conversion polynomials, laid out as the ALOS-2 facility record 5.
inline constexpr std::uint32_t kPalsarFacilityBytes = 12476072;
inline constexpr std::uint32_t kConversionUsedBytes = 3104;  // through the last reference longitude
inline constexpr std::array<RecordLayout, 9> kPalsarLeaderRecords{{
    {LeaderRecord::FileDescriptor, "leader file descriptor", 720, {11, 192, 18, 18}, true},
    {LeaderRecord::DataSetSummary, "data set summary", 4096, {18, 10, 18, 20}, true, true},
    {LeaderRecord::MapProjection, "map projection data", 1620, {18, 20, 18, 20}, true},
    {LeaderRecord::PlatformPosition, "platform position data", 4680, {18, 30, 18, 20}, true},
    {LeaderRecord::Attitude, "attitude data", 8192, {18, 40, 18, 20}, true, true},
    {LeaderRecord::Radiometric, "radiometric data", 9860, {18, 50, 18, 20}, true},
    {LeaderRecord::DataQuality, "data quality summary", 1620, {18, 60, 18, 20}, true},
    {LeaderRecord::Facility1, "facility related data", kPalsarFacilityBytes, {18, 200, 18, 50}, false},
    {LeaderRecord::Facility5, "conversion polynomial", 5000, {18, 200, 18, 50}, false, false, true,
     kConversionUsedBytes},
}};

// What tells the two generations of products apart when they are read.
enum class Generation : std::uint8_t { Alos2, Palsar1 };

struct LeaderLayout {
    Generation generation;
    const char* sensor;                     // for messages
    std::span<const RecordLayout> records;  // in file order
    // A walk compares subtype 1, type and subtype 2 of the checked records,
    // not only the type.
    bool fullTypeCodes;
    // The status shown when a level 1.1 image is converted.
    const char* tilingStatus;
};

inline constexpr LeaderLayout kAlos2Layout{Generation::Alos2, "ALOS-2 PALSAR-2", kLeaderRecords, false,
                                           "Sub OpenAlos2L11"};
inline constexpr LeaderLayout kPalsar1Layout{Generation::Palsar1, "ALOS PALSAR", kPalsarLeaderRecords, true,
                                             "Sub OpenAlosL11"};

const RecordLayout& layoutOf(LeaderRecord id);
// The records a product of the level carries, in file order.
std::vector<RecordLayout> leaderRecordsFor(int productLevel, const LeaderLayout& layout = kAlos2Layout);
// Start of a record in the fixed record map of the level (bytes from the
// start of the file); the record must be one the level carries.
std::uint64_t fixedRecordStart(LeaderRecord id, int productLevel, const LeaderLayout& layout = kAlos2Layout);

// Image file records.
inline constexpr TypeCode kImageDescriptorCode{50, 192, 18, 18};
inline constexpr TypeCode kProcessedDataCode{50, 11, 18, 20};
inline constexpr TypeCode kVolumeDescriptorCode{192, 192, 18, 18};

// A fixed-width ASCII field: offset from the start of its record (from 0).
struct FieldLayout {
    const char* name;
    std::size_t offset;
    std::size_t width;
};

// The k-th field of a table of equal fields spaced step bytes apart.
FieldLayout nthField(const FieldLayout& first, std::size_t k, std::size_t step, std::string& nameStore);

namespace dss {  // data set summary
inline constexpr FieldLayout Y{"Y", 68, 4};
inline constexpr FieldLayout M{"M", 72, 2};
inline constexpr FieldLayout D{"D", 74, 2};
inline constexpr FieldLayout H{"H", 76, 2};
inline constexpr FieldLayout Min{"Min", 78, 2};
inline constexpr FieldLayout SecMillis{"Sec", 80, 5};  // seconds and milliseconds as SSmmm
inline constexpr FieldLayout ctrlat{"ctrlat", 116, 16};
inline constexpr FieldLayout ctrlon{"ctrlon", 132, 16};
inline constexpr FieldLayout wavelength{"wavelength", 500, 16};
inline constexpr FieldLayout prfMilliHz{"prf", 934, 16};
inline constexpr FieldLayout linsz{"linsz", 1686, 16};
inline constexpr FieldLayout pixsz{"pixsz", 1702, 16};
inline constexpr FieldLayout inccoef{"inccoef", 1886, 20};
inline constexpr std::size_t kInccoefStep = 20;
// First-generation products only.
inline constexpr FieldLayout missionId{"sensor platform mission identifier", 396, 16};
inline constexpr FieldLayout clockAngle{"sensor clock angle", 476, 8};  // +90 right, -90 left looking
inline constexpr FieldLayout processingSystem{"processing system identifier", 1062, 8};
}  // namespace dss

namespace radiometric {
inline constexpr FieldLayout calib{"calib", 20, 16};
inline constexpr double kLevel11Offset_dB = 32.0;  // level 1.1 fields carry calib + 32 dB
}  // namespace radiometric

namespace platform {
inline constexpr FieldLayout pointCount{"orbitPointCount", 140, 4};
inline constexpr FieldLayout firstYear{"orbitFirstYear", 144, 4};
inline constexpr FieldLayout firstMonth{"orbitFirstMonth", 148, 4};
inline constexpr FieldLayout firstDay{"orbitFirstDay", 152, 4};
inline constexpr FieldLayout firstTime{"orbitFirstTime", 160, 22};
inline constexpr FieldLayout interval{"orbitInterval", 182, 22};
inline constexpr std::size_t kVectorsOffset = 386;
inline constexpr std::size_t kVectorBytes = 132;   // X, Y, Z, VX, VY, VZ
inline constexpr std::size_t kComponentWidth = 22;
}  // namespace platform

namespace facility5 {
inline constexpr FieldLayout pl2lat{"pl2lat", 1024, 20};
inline constexpr FieldLayout pl2lon{"pl2lon", 1524, 20};
inline constexpr FieldLayout plRefPixel{"plRefPixel", 2024, 20};
inline constexpr FieldLayout plRefLine{"plRefLine", 2044, 20};
inline constexpr FieldLayout ll2pix{"ll2pix", 2064, 20};
inline constexpr FieldLayout ll2lin{"ll2lin", 2564, 20};
inline constexpr FieldLayout llRefLat{"llRefLat", 3064, 20};
inline constexpr FieldLayout llRefLon{"llRefLon", 3084, 20};
inline constexpr std::size_t kCoefficientStep = 20;
}  // namespace facility5

namespace descriptor {  // image file descriptor
inline constexpr FieldLayout line{"line", 180, 6};
inline constexpr FieldLayout linebytes{"linebytes", 186, 6};
inline constexpr FieldLayout bitsPerSample{"bits per sample", 216, 4};
inline constexpr FieldLayout samplesPerGroup{"samplesPerGroup", 220, 4};
inline constexpr FieldLayout bytesPerGroup{"bytes per data group", 224, 4};
inline constexpr FieldLayout pixelsPerLine{"pixels per line", 248, 8};
inline constexpr FieldLayout lineheader{"lineheader", 276, 4};
inline constexpr FieldLayout sarDataBytes{"SAR data bytes per record", 280, 8};
}  // namespace descriptor

// A record being decoded: its bytes and what error texts say about it.
struct RecordView {
    std::span<const std::uint8_t> bytes;
    std::string file;    // the file's path or name
    std::string record;  // the record's name
    std::uint64_t fileOffset = 0;
};

// The field's text (throws Error naming file, record and field when the
// field lies beyond the record).
std::string_view fieldText(const RecordView& r, const FieldLayout& f);
// The field converted as the C library's strtod / strtol (base 10) convert it
// between blanks in the C locale: non-numeric text gives 0.
double realField(const RecordView& r, const FieldLayout& f);
long integerField(const RecordView& r, const FieldLayout& f);
// A real field the geometry uses: as realField, but refused (an Error naming
// file, record, field and its text) unless finite and within lo .. hi.
double boundedField(const RecordView& r, const FieldLayout& f, double lo, double hi, const char* unit);
// Refuses a value taken from field f of r that is not finite or not within lo .. hi.
void checkBounds(const RecordView& r, const FieldLayout& f, double value, double lo, double hi, const char* unit);

// Text for a field of the given width, right-aligned. Reals use the shortest
// form that reads back exactly; where that is wider than the field, the most
// significant digits that fit. Throws Error naming the field when a value
// cannot be written (an integer too wide, a real that is not finite).
std::string formatReal(double value, const FieldLayout& f);
// zeroPadded writes leading zeros ("07") as date and time fields do.
std::string formatInteger(long long value, const FieldLayout& f, bool zeroPadded = false);
void putField(std::span<std::uint8_t> record, const FieldLayout& f, std::string_view text);

}  // namespace tessarin::products::ceos
