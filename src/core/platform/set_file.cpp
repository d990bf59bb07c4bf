#include "platform/set_file.h"

#include <filesystem>

#include "platform/archive_string.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"

namespace tessarin {

namespace {

std::vector<std::uint8_t> readSetFile(const std::string& path) {
    if (!fileExists(path)) throw Error(format("The set file \"%s\" does not exist", path.c_str()));
    return readWholeFile(path, kMaxSetFileBytes);
}

std::string lastComponent(const std::string& path) {
    const auto cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace

SetFileReader::SetFileReader(std::string path)
    : path_(std::move(path)), data_(readSetFile(path_)), reader_(data_, "\"" + path_ + "\"") {}

SetFileReader::SetFileReader(std::string path, std::vector<std::uint8_t> data)
    : path_(std::move(path)), data_(std::move(data)), reader_(data_, "\"" + path_ + "\"") {}

int SetFileReader::byteAt(std::size_t offset) const { return offset < data_.size() ? data_[offset] : -1; }

std::int32_t SetFileReader::readInt32(const char* what) {
    if (reader_.remaining() < 4)
        throw Error(format("\"%s\" ends at byte %zu, before its %s", path_.c_str(), reader_.offset(), what));
    return reader_.le<std::int32_t>();
}

std::string SetFileReader::readString(const char* what, bool optional) {
    if (reader_.atEnd())
        throw Error(format("\"%s\" ends at byte %zu, before its %s", path_.c_str(), reader_.offset(), what));
    const std::size_t at = reader_.offset();
    std::string text = readArchiveString(reader_);
    if (text.empty() && !optional)
        throw Error(format("\"%s\": the %s at byte %zu is empty", path_.c_str(), what, at));
    if (text.find('\0') != std::string::npos)
        throw Error(format("\"%s\": the %s at byte %zu holds a NUL character", path_.c_str(), what, at));
    if (utf8ToUtf16(text).size() > kMaxSetFileStringUnits)
        throw Error(format("\"%s\": the %s at byte %zu is longer than %zu characters", path_.c_str(), what, at,
                           kMaxSetFileStringUnits));
    return text;
}

std::string SetFileReader::readPath(const char* what, bool optional) {
    const std::string stored = readString(what, optional);
    return stored.empty() ? stored : resolveMemberPath(stored, path_);
}

std::string resolveMemberPath(const std::string& stored, const std::string& setFilePath) {
    if (fileExists(stored)) return stored;
    const std::string besideSet = joinPath(splitPath(setFilePath).folder, lastComponent(stored));
    if (fileExists(besideSet)) return besideSet;
    return stored;
}

void SetFileWriter::writeString(const std::string& utf8) { writeArchiveString(out_, utf8); }

void SetFileWriter::save(const std::string& path) const { writeWholeFile(path, out_.buffer()); }

}  // namespace tessarin
