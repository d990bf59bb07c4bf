// The ortho matrix's bucket search against the plain scan on arbitrary
// mapping tables: the same cell for every query, the same grids to the bit.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "geometry/ortho_matrix.h"
#include "platform/ui.h"

namespace {

class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return at_ >= size_; }
    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    // Small whole numbers make ties common; raw doubles bring NaN, infinities
    // and extremes.
    double value(bool raw) {
        if (!raw) return static_cast<double>(static_cast<std::int8_t>(byte())) * 10.0;
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits = bits << 8 | byte();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tessarin::geometry;
    Bytes in(data, size);
    const std::uint8_t mode = in.byte();
    const bool raw = (mode & 1) != 0;
    static MappingTable table;  // 1.5 MB: allocated once
    table.rows = 1 + in.byte() % 24;
    table.columns = 1 + in.byte() % 24;
    for (int r = 0; r < table.rows; ++r)
        for (int c = 0; c < table.columns; ++c) {
            const std::size_t i = MappingTable::index(r, c);
            table.pixel[i] = in.value(raw);
            table.line[i] = in.value(raw);
            table.incidence[i] = r + 0.5 * c;
            table.pixelSensitivity[i] = -r;
            table.lineSensitivity[i] = c;
        }
    const CellIndex index(table);
    while (!in.empty()) {
        const bool rawQuery = (in.byte() & 1) != 0;
        const double x = in.value(rawQuery), y = in.value(rawQuery);
        const TableCell expected = nearestCellReference(table, x, y);
        if (!(index.nearest(x, y) == expected)) __builtin_trap();
        if (expected.valid()) nodeValuesFromCell(table, expected, x, y);
    }
    // Whole grids over a small image.
    const int pixels = (mode >> 1) * 8 - 500, lines = 1000 - (mode >> 1) * 4;
    OrthoMatrix fast, reference;
    tessarin::ScriptedUi ui;
    buildOrthoMatrix(table, pixels, lines, fast, ui);
    buildOrthoMatrixReference(table, pixels, lines, reference);
    auto same = [](const std::vector<double>& a, const std::vector<double>& b) {
        return a.size() == b.size() &&
               (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
    };
    if (!same(fast.incidence, reference.incidence) || !same(fast.pixelSensitivity, reference.pixelSensitivity) ||
        !same(fast.lineSensitivity, reference.lineSensitivity))
        __builtin_trap();
    return 0;
}
