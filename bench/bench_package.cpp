// Opening a large package (unscramble, MD5, RSA check, config read) against
// MD5 alone over the same bytes: the ratio says what the package format costs
// beyond the digest it cannot avoid.
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
  benchmark::Shutdown();
  return 0;
}
