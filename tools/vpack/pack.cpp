// vpack pack: every file under a folder becomes a member named by its path
// relative to the folder, then the archive is signed and scrambled.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "controller/package_writer.h"
#include "tools/vpack/commands.h"

namespace fs = std::filesystem;

namespace {

bool readWhole(const fs::path& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

int failWith(const std::string& message) {
  fprintf(stderr, "vpack: %s\n", message.c_str());
  return 1;
}

}  // namespace

int runPack(int argc, char** argv) {
  bool store = false;
  const char* keyFile = nullptr;
  std::vector<const char*> positional;
  for (int i = 0; i < argc; ++i) {
    if (strcmp(argv[i], "--store") == 0) {
      store = true;
    } else if (strcmp(argv[i], "--key") == 0 && i + 1 < argc) {
      keyFile = argv[++i];
    } else if (argv[i][0] == '-' && argv[i][1] == '-') {
      return failWith(std::string("unknown option ") + argv[i] +
                      "\nusage: vpack pack [--store] [--key FILE] SRC_DIR OUT.pkg");
    } else {
      positional.push_back(argv[i]);
    }
  }
  if (positional.size() != 2) return failWith("usage: vpack pack [--store] [--key FILE] SRC_DIR OUT.pkg");
  const fs::path source = positional[0];
  const fs::path output = positional[1];

  SigningKey key = testSigningKey();
  if (keyFile) {
    std::string text, why;
    if (!readWhole(keyFile, &text)) return failWith(std::string("cannot read key file ") + keyFile);
    if (!parseSigningKey(text, &key, &why) || !checkSigningKey(key, &why))
      return failWith(std::string(keyFile) + ": " + why);
  }

  std::error_code ec;
  if (!fs::is_directory(source, ec)) return failWith(source.string() + " is not a folder");
  // Sorted, so the same folder always makes the same package.
  std::vector<std::string> names;
  for (fs::recursive_directory_iterator it(source, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file(ec)) names.push_back(fs::relative(it->path(), source, ec).generic_string());
  }
  if (ec) return failWith("cannot list " + source.string() + ": " + ec.message());
  std::sort(names.begin(), names.end());

  std::vector<PackageEntry> entries;
  for (const std::string& name : names) {
    if (name.size() > 0xFFFF) return failWith("member name too long: " + name.substr(0, 80) + "...");
    PackageEntry entry{name, {}};
    if (!readWhole(source / name, &entry.bytes)) return failWith("cannot read " + (source / name).string());
    entries.push_back(std::move(entry));
  }

  std::vector<uint8_t> package;
  if (!buildPackage(entries, store, key, &package)) {
    return failWith("cannot sign the package (is it larger than 2 GiB, or the key not 1024-bit RSA?)");
  }
  std::ofstream out(output, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(package.data()), static_cast<std::streamsize>(package.size()));
  out.close();
  if (!out) return failWith("cannot write " + output.string());
  printf("vpack: wrote %s (%zu members, %zu bytes)\n", output.string().c_str(), entries.size(), package.size());
  return 0;
}
