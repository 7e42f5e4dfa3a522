// Opening a large package (unscramble, MD5, RSA check, config read) against
// MD5 alone over the same bytes: the ratio says what the package format costs
// beyond the digest it cannot avoid. Getting the package out of a player file
// is timed against one read of the same bytes, and its memory is counted.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "controller/ctrl_generic.h"
#include "controller/package_crypto.h"
#include "controller/package_writer.h"
#include "platform/payload.h"
#include "platform/seams.h"
#include "program/main_window.h"

namespace {

constexpr size_t kPayload = 32u << 20;

// A package of about 32 MiB: a config and one large stored member.
const std::vector<uint8_t>& largePackage() {
  static const std::vector<uint8_t> package = [] {
    std::string payload(kPayload - 4096, '\0');
    std::mt19937 rng(1);
    for (char& c : payload) c = static_cast<char>(rng());
    std::vector<PackageEntry> entries = {
        {"config.xml", "<trelm><version major=\"1\" minor=\"6\" patch=\"4\"/></trelm>\n"},
        {"media/blob.bin", payload},
    };
    std::vector<uint8_t> bytes;
    buildPackage(entries, true, testSigningKey(), &bytes);
    return bytes;
  }();
  return package;
}

void package_open_32MiB(benchmark::State& state) {
  const std::vector<uint8_t>& scrambled = largePackage();
  for (auto _ : state) {
    state.PauseTiming();
    auto controller = std::make_unique<CTRL_Generic>();
    auto buffer = std::make_unique<ByteBuffer>();
    buffer->resize(static_cast<int32_t>(scrambled.size()));
    memcpy(buffer->data, scrambled.data(), scrambled.size());
    state.ResumeTiming();
    if (!controller->openPackage(std::move(buffer))) state.SkipWithError("package refused");
    state.PauseTiming();
    controller.reset();  // frees the package
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * scrambled.size()));
}

// A player file carrying the package, written once beside the bench.
const std::string& playerFile() {
  static const std::string path = [] {
    std::string p = "bench_package_player.bin";
    const std::vector<uint8_t> player(1 << 20, 0x90);
    const std::vector<uint8_t> bytes = vsplat::withPayload(player, largePackage());
    FILE* f = fopen(p.c_str(), "wb");
    if (f) {
      fwrite(bytes.data(), 1, bytes.size(), f);
      fclose(f);
    }
    return p;
  }();
  return path;
}

// Resident memory in bytes, from /proc/self/statm.
double residentBytes() {
  long pages = 0, resident = 0;
  FILE* f = fopen("/proc/self/statm", "r");
  if (f) {
    if (fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    fclose(f);
  }
  return static_cast<double>(resident) * 4096.0;
}

// What the player does at start: the resource found, its bytes copied into
// the buffer that is then unscrambled in place, the resource let go. The
// counter says how much more memory is held afterwards, per package byte.
void package_from_player_32MiB(benchmark::State& state) {
  vsplat::overrideProgramFile(playerFile().c_str());
  double held = 0;
  for (auto _ : state) {
    const double before = residentBytes();
    std::unique_ptr<ByteBuffer> buffer = copyEmbeddedPackage(nullptr);
    if (!buffer || buffer->size != static_cast<int32_t>(largePackage().size())) state.SkipWithError("no package");
    held = (residentBytes() - before) / static_cast<double>(largePackage().size());
    benchmark::DoNotOptimize(buffer->data);
  }
  state.counters["held_per_byte"] = held;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * largePackage().size()));
  vsplat::overrideProgramFile(nullptr);
}

// One read of the same bytes into one new buffer.
void one_read_32MiB(benchmark::State& state) {
  const size_t size = largePackage().size();
  const long offset = 1 << 20;
  for (auto _ : state) {
    FILE* f = fopen(playerFile().c_str(), "rb");
    uint8_t* data = static_cast<uint8_t*>(malloc(size));
    if (!f || !data || fseek(f, offset, SEEK_SET) != 0 || fread(data, 1, size, f) != size)
      state.SkipWithError("read failed");
    if (f) fclose(f);
    benchmark::DoNotOptimize(data);
    free(data);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

void md5_32MiB(benchmark::State& state) {
  const std::vector<uint8_t>& bytes = largePackage();
  uint8_t digest[kDigestSize];
  for (auto _ : state) {
    digestPackage(bytes.data(), bytes.size() - kSignatureSize, digest);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void scramble_32MiB(benchmark::State& state) {
  std::vector<uint8_t> bytes = largePackage();
  for (auto _ : state) {
    scramblePackage(bytes.data(), bytes.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

BENCHMARK(package_open_32MiB)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(md5_32MiB)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(scramble_32MiB)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(package_from_player_32MiB)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(one_read_32MiB)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto open = reporter.seconds.find("package_open_32MiB");
  auto md5 = reporter.seconds.find("md5_32MiB");
  if (open != reporter.seconds.end() && md5 != reporter.seconds.end() && md5->second > 0) {
    printf("\nopen %.2f ms, MD5 alone %.2f ms, ratio %.3f (aim: at most 1.3)\n", open->second * 1e3, md5->second * 1e3,
           open->second / md5->second);
  }
  auto copy = reporter.seconds.find("package_from_player_32MiB");
  auto read = reporter.seconds.find("one_read_32MiB");
  if (copy != reporter.seconds.end() && read != reporter.seconds.end() && read->second > 0) {
    printf("from the player %.2f ms, one read %.2f ms, ratio %.3f\n", copy->second * 1e3, read->second * 1e3,
           copy->second / read->second);
  }
  std::remove(playerFile().c_str());
  benchmark::Shutdown();
  return 0;
}
