#include "products/ceos_fields.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/bytes.h"
#include "platform/error.h"
#include "platform/format.h"
#include "platform/text.h"
#include "products/scene_parameters.h"

namespace tessarin::products::ceos {

RecordHeader readRecordHeader(std::span<const std::uint8_t> record) {
    RecordHeader h;
    h.sequence = load<std::uint32_t>(record, kSequenceOffset, ByteOrder::Big, "record header");
    h.code.subtype1 = load<std::uint8_t>(record, kTypeCodeOffset, ByteOrder::Big, "record header");
    h.code.type = load<std::uint8_t>(record, kTypeCodeOffset + 1, ByteOrder::Big, "record header");
    h.code.subtype2 = load<std::uint8_t>(record, kTypeCodeOffset + 2, ByteOrder::Big, "record header");
    h.code.subtype3 = load<std::uint8_t>(record, kTypeCodeOffset + 3, ByteOrder::Big, "record header");
    h.length = load<std::uint32_t>(record, kLengthOffset, ByteOrder::Big, "record header");
    return h;
}

void writeRecordHeader(std::span<std::uint8_t> record, const RecordHeader& h) {
    store<std::uint32_t>(record, kSequenceOffset, h.sequence, ByteOrder::Big, "record header");
    store<std::uint8_t>(record, kTypeCodeOffset, h.code.subtype1, ByteOrder::Big, "record header");
    store<std::uint8_t>(record, kTypeCodeOffset + 1, h.code.type, ByteOrder::Big, "record header");
    store<std::uint8_t>(record, kTypeCodeOffset + 2, h.code.subtype2, ByteOrder::Big, "record header");
    store<std::uint8_t>(record, kTypeCodeOffset + 3, h.code.subtype3, ByteOrder::Big, "record header");
    store<std::uint32_t>(record, kLengthOffset, h.length, ByteOrder::Big, "record header");
}

const RecordLayout& layoutOf(LeaderRecord id) { return kLeaderRecords[static_cast<std::size_t>(id)]; }

std::vector<RecordLayout> leaderRecordsFor(int productLevel, const LeaderLayout& layout) {
    std::vector<RecordLayout> records;
    for (const auto& r : layout.records)
        if (!(r.id == LeaderRecord::MapProjection && productLevel == kLevel11)) records.push_back(r);
    return records;
}

std::uint64_t fixedRecordStart(LeaderRecord id, int productLevel, const LeaderLayout& layout) {
    std::uint64_t start = 0;
    for (const auto& r : leaderRecordsFor(productLevel, layout)) {
        if (r.id == id) return start;
        start += r.length;
    }
    throw Error(format("a level %d leader file carries no %s record", productLevel, layoutOf(id).name));
}

FieldLayout nthField(const FieldLayout& first, std::size_t k, std::size_t step, std::string& nameStore) {
    nameStore = format("%s[%zu]", first.name, k);
    return {nameStore.c_str(), first.offset + k * step, first.width};
}

std::string_view fieldText(const RecordView& r, const FieldLayout& f) {
    if (f.offset > r.bytes.size() || r.bytes.size() - f.offset < f.width)
        throw Error(format("%s: the %s record at offset %llu holds %zu bytes, too few for the field %s "
                           "(offset %zu, %zu bytes)",
                           r.file.c_str(), r.record.c_str(), static_cast<unsigned long long>(r.fileOffset),
                           r.bytes.size(), f.name, f.offset, f.width));
    return {reinterpret_cast<const char*>(r.bytes.data() + f.offset), f.width};
}

double realField(const RecordView& r, const FieldLayout& f) { return cStrtod(fieldText(r, f)); }

long integerField(const RecordView& r, const FieldLayout& f) { return cStrtol(fieldText(r, f)); }

void checkBounds(const RecordView& r, const FieldLayout& f, double value, double lo, double hi, const char* unit) {
    if (std::isfinite(value) && value >= lo && value <= hi) return;
    std::string text(fieldText(r, f));
    const auto first = text.find_first_not_of(' ');
    text = first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(' ') - first + 1);
    throw Error(format("%s: the %s record: the field %s (offset %llu) holds \"%s\", not a value from %g to %g %s",
                       r.file.c_str(), r.record.c_str(), f.name,
                       static_cast<unsigned long long>(r.fileOffset + f.offset), text.c_str(), lo, hi, unit));
}

double boundedField(const RecordView& r, const FieldLayout& f, double lo, double hi, const char* unit) {
    const double v = realField(r, f);
    checkBounds(r, f, v, lo, hi, unit);
    return v;
}

namespace {

std::string rightAligned(const std::string& text, const FieldLayout& f) {
    return std::string(f.width - text.size(), ' ') + text;
}

}  // namespace

std::string formatReal(double value, const FieldLayout& f) {
    if (!std::isfinite(value)) throw Error(format("the field %s cannot hold the value %g", f.name, value));
    char buffer[64];
    // Shortest text that reads back as the same double.
    const auto shortest = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, shortest.ptr);
    if (text.size() <= f.width) return rightAligned(text, f);
    // Otherwise as many significant digits as the width allows.
    for (int precision = 17; precision >= 0; --precision) {
        text = format("%.*e", precision, value);
        if (text.size() <= f.width) return rightAligned(text, f);
    }
    throw Error(format("the field %s (%zu characters) cannot hold the value %g", f.name, f.width, value));
}

std::string formatInteger(long long value, const FieldLayout& f, bool zeroPadded) {
    const std::string text = zeroPadded ? format("%0*lld", static_cast<int>(f.width), value) : format("%lld", value);
    if (text.size() > f.width)
        throw Error(format("the field %s (%zu characters) cannot hold the value %lld", f.name, f.width, value));
    return rightAligned(text, f);
}

void putField(std::span<std::uint8_t> record, const FieldLayout& f, std::string_view text) {
    if (text.size() != f.width || f.offset > record.size() || record.size() - f.offset < f.width)
        throw Error(format("the field %s (offset %zu, %zu bytes) does not fit its record of %zu bytes", f.name,
                           f.offset, f.width, record.size()));
    for (std::size_t i = 0; i < f.width; ++i) record[f.offset + i] = static_cast<std::uint8_t>(text[i]);
}

}  // namespace tessarin::products::ceos
