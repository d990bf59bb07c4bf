#include "insar/fringe_color.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"
#include "platform/work_folder.h"

#ifndef TESSARIN_SHARE_DIR
#define TESSARIN_SHARE_DIR "/usr/local/share/tessarin"
#endif

namespace tessarin::insar {

namespace {

void requireSize(std::size_t have, std::size_t need, const char* what) {
    if (have < need) throw Error(format("The %s holds fewer samples than its area", what));
}

}  // namespace

ColorTable defaultColorTable() {
    ColorTable t{};
    for (int k = 0; k < 256; ++k) {
        const double a = k * (2.0 * std::numbers::pi / 256.0);
        for (int c = 0; c < 3; ++c) {
            const double v = 127.5 * (1.0 + std::cos(a - c * (2.0 * std::numbers::pi / 3.0)));
            t[static_cast<std::size_t>(k)][static_cast<std::size_t>(c)] =
                static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
        }
    }
    return t;
}

std::vector<std::uint8_t> colorTableBytes(const ColorTable& table) {
    std::vector<std::uint8_t> out;
    out.reserve(kColorTableBytes);
    for (const auto& e : table) out.insert(out.end(), e.begin(), e.end());
    return out;
}

std::vector<std::string> colorTableShareFolders() {
    std::vector<std::string> folders;
    const std::string exe = executableFolder();
    if (!exe.empty()) folders.push_back(joinPath(joinPath(joinPath(exe, ".."), "share"), "tessarin"));
    folders.push_back(TESSARIN_SHARE_DIR);
    return folders;
}

LoadedColorTable loadColorTable(const std::string& workFolder) {
    LoadedColorTable loaded;
    std::vector<std::string> candidates;
    if (!workFolder.empty()) candidates.push_back(joinPath(workFolder, kColorTableName));
    for (const auto& f : colorTableShareFolders()) candidates.push_back(joinPath(f, kColorTableName));
    std::string passedOver;
    for (const auto& path : candidates) {
        if (!fileExists(path)) continue;
        std::vector<std::uint8_t> bytes;
        try {
            bytes = readWholeFile(path, 1 << 20);
        } catch (const Error& e) {
            passedOver += format("\"%s\" cannot be read (%s); ", path.c_str(), e.what());
            continue;
        }
        if (bytes.size() != kColorTableBytes) {
            passedOver += format("\"%s\" holds %zu bytes instead of %zu; ", path.c_str(), bytes.size(), kColorTableBytes);
            continue;
        }
        for (std::size_t k = 0; k < 256; ++k)
            for (std::size_t c = 0; c < 3; ++c) loaded.table[k][c] = bytes[3 * k + c];
        loaded.path = path;
        if (!passedOver.empty()) loaded.notice = "Colour table: " + passedOver + "using \"" + path + "\"";
        return loaded;
    }
    loaded.table = defaultColorTable();
    loaded.notice = "Colour table: " + passedOver + "no usable \"" + std::string(kColorTableName) +
                    "\" in the work folder or the share folder: the built-in cyclic table is used";
    return loaded;
}

std::vector<std::uint8_t> colourFringe(std::span<const std::uint8_t> fringe, const ColorTable& table) {
    std::vector<std::uint8_t> out(fringe.size() * 3);
    for (std::size_t i = 0; i < fringe.size(); ++i) {
        const auto& e = table[fringe[i]];
        out[3 * i] = e[0], out[3 * i + 1] = e[1], out[3 * i + 2] = e[2];
    }
    return out;
}

std::vector<std::uint16_t> masterIntensity(std::span<const std::uint8_t> cutBytes, std::size_t pixels) {
    requireSize(cutBytes.size(), pixels * 6, "cut file");
    std::vector<std::uint16_t> a(pixels);
    for (std::size_t i = 0; i < pixels; ++i)
        a[i] = static_cast<std::uint16_t>(cutBytes[6 * i] | cutBytes[6 * i + 1] << 8);
    return a;
}

double meanOf(std::span<const std::uint16_t> values) {
    if (values.empty()) return 0.0;
    std::uint64_t sum = 0;
    for (auto v : values) sum += v;
    return static_cast<double>(sum) / static_cast<double>(values.size());
}

std::vector<std::uint8_t> colourFringeWithIntensity(std::span<const std::uint8_t> fringe,
                                                    std::span<const std::uint16_t> intensity, const ColorTable& table) {
    requireSize(intensity.size(), fringe.size(), "intensity");
    const double mean = meanOf(intensity.first(fringe.size()));
    std::vector<std::uint8_t> out(fringe.size() * 3);
    // The factor of every intensity value, computed once each.
    std::vector<double> factor(65536, 0.0);
    if (mean > 0.0)
        for (std::size_t a = 0; a < factor.size(); ++a) factor[a] = std::min(1.0, 196.0 / mean * static_cast<double>(a) / 1024.75);
    for (std::size_t i = 0; i < fringe.size(); ++i) {
        const double f = factor[intensity[i]];
        const auto& e = table[fringe[i]];
        for (std::size_t c = 0; c < 3; ++c)
            out[3 * i + c] = static_cast<std::uint8_t>(std::min(255.0, std::trunc(e[c] * f)));
    }
    return out;
}

std::uint8_t compositeFactor(std::uint16_t intensity, double mean) {
    if (!(mean > 0.0)) return 0;
    const double e = intensity / mean * 64.0;
    return e < 256.0 ? static_cast<std::uint8_t>(e) : 255;
}

std::vector<std::uint8_t> fringeImageComposite(std::span<const std::uint8_t> fringe,
                                               std::span<const std::uint16_t> intensity, const ColorTable& table) {
    requireSize(intensity.size(), fringe.size(), "intensity");
    const double mean = meanOf(intensity.first(fringe.size()));
    std::vector<std::uint8_t> out(fringe.size() * 3);
    for (std::size_t i = 0; i < fringe.size(); ++i) {
        const unsigned e = compositeFactor(intensity[i], mean);
        const auto& t = table[fringe[i]];
        for (std::size_t c = 0; c < 3; ++c) out[3 * i + c] = static_cast<std::uint8_t>((t[c] * e) >> 8);
    }
    return out;
}

std::vector<std::uint8_t> maskedColouring(std::span<const std::uint8_t> product, std::span<const std::uint8_t> mask,
                                          bool colour, const ColorTable& table) {
    requireSize(mask.size(), product.size(), "mask");
    std::vector<std::uint8_t> out(product.size() * 3, 0);
    for (std::size_t i = 0; i < product.size(); ++i) {
        if (mask[i] == 0) continue;
        const std::uint8_t v = product[i];
        std::array<std::uint8_t, 3> p = colour ? table[v] : std::array<std::uint8_t, 3>{v, v, v};
        if (p[0] == 0 && p[1] == 0 && p[2] == 0) p = {1, 1, 1};
        out[3 * i] = p[0], out[3 * i + 1] = p[1], out[3 * i + 2] = p[2];
    }
    return out;
}

void maskedColouringThroughFile(const std::string& productPath, const std::string& maskPath, int pixels, int lines,
                                const std::string& outputBase, bool colour, const ColorTable& table,
                                const std::function<void(const std::string& scratchPath)>& writer) {
    const std::size_t n = static_cast<std::size_t>(std::max(0, pixels)) * static_cast<std::size_t>(std::max(0, lines));
    const auto read = [n](const std::string& path, const char* what) {
        if (!fileExists(path)) throw Error(format("The %s \"%s\" does not exist", what, path.c_str()));
        auto bytes = readWholeFile(path, n + 1);
        if (bytes.size() != n)
            throw Error(format("The %s \"%s\" holds %zu bytes instead of %zu", what, path.c_str(), bytes.size(), n));
        return bytes;
    };
    const auto product = read(productPath, "product file");
    const auto mask = read(maskPath, "mask file");
    const std::string scratch = outputBase + "tempo";
    writeWholeFile(scratch, maskedColouring(product, mask, colour, table));
    struct Remove {
        const std::string& path;
        ~Remove() { removeFile(path); }
    } remove{scratch};
    if (writer) writer(scratch);
}

std::string temporalAmplitudeTiffPath(const std::string& interferogramPath) {
    const SplitPath split = splitPath(interferogramPath);
    const std::size_t keep = split.name.size() > 15 ? split.name.size() - 15 : 0;
    return joinPath(split.folder, split.name.substr(0, keep) + "CAmp.tif");
}

}  // namespace tessarin::insar
