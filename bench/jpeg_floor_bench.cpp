// The floor for fitting a book's photos: libjpeg-turbo alone decoding each JPEG of an EPUB at
// the DCT scale the converter uses and encoding it at the size the converter writes (rows
// picked, not averaged), on as many threads as the converter. Prints the best of five runs, and
// the processor time a run takes on all threads together (steadier on a busy machine).
// Usage: jpeg_floor_bench <book.epub>

#include "mobigen/images/image_fit.h"
#include "mobigen/images/jpeg_codec.h"
#include "mobigen/source/zip.h"

#include <stb_image.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

using namespace mobigen;

namespace {

std::vector<std::string> jpegsOf(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), {}};
    ZipArchive zip(bytes);
    std::vector<std::string> jpegs;
    for (const std::string& name : zip.names()) {
        std::string data = zip.read(name);
        if (data.rfind("\xFF\xD8\xFF", 0) == 0) jpegs.push_back(std::move(data));
    }
    return jpegs;
}

// Decodes at the converter's reduction, keeps the rows and columns nearest the fitted size,
// encodes at its first quality. Returns the bytes written.
std::size_t floorOf(const std::string& jpeg) {
    int width = 0, height = 0, channels = 0;
    stbi_info_from_memory(reinterpret_cast<const stbi_uc*>(jpeg.data()), static_cast<int>(jpeg.size()), &width, &height,
                          &channels);
    const double scale = std::min(
        1.0, std::min(static_cast<double>(kImageFitWidth) / width, static_cast<double>(kImageFitHeight) / height));
    const int targetWidth = static_cast<int>(std::lround(width * scale));
    const int targetHeight = static_cast<int>(std::lround(height * scale));
    JpegRowReader reader;
    if (!reader.start(jpeg, width, height, jpegReduction(width, height, targetWidth, targetHeight))) return 0;
    const PixelView source = reader.output();
    std::vector<std::uint8_t> row(source.rowBytes());
    Raster target{targetWidth, targetHeight, source.channels, {}};
    target.pixels.resize(target.view().size());
    const auto step = static_cast<std::size_t>(source.channels);
    int next = 0;
    for (int y = 0; y < source.height && reader.readRow(row.data()); ++y) {
        if (next >= targetHeight || y < next * source.height / targetHeight) continue;
        std::uint8_t* out = target.pixels.data() + static_cast<std::size_t>(next++) * target.view().rowBytes();
        for (int x = 0; x < targetWidth; ++x, out += step)
            std::copy_n(row.data() + static_cast<std::size_t>(x * source.width / targetWidth) * step, step, out);
    }
    return encodeJpeg(target.view(), 80).size();
}

double secondsFor(const std::vector<std::string>& jpegs, unsigned threads) {
    const auto start = std::chrono::steady_clock::now();
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t k = next++; k < jpegs.size(); k = next++) floorOf(jpegs[k]);
    };
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < threads; ++t) helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers) helper.join();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: jpeg_floor_bench <book.epub>\n");
        return 2;
    }
    const std::vector<std::string> jpegs = jpegsOf(argv[1]);
    const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    const std::clock_t cpuStart = std::clock();
    double best = secondsFor(jpegs, threads);
    for (int run = 1; run < 5; ++run) best = std::min(best, secondsFor(jpegs, threads));
    const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC / 5;
    std::printf("%zu JPEGs, %u threads, cpu %.3f s: %.3f s\n", jpegs.size(), threads, cpu, best);
    return 0;
}
