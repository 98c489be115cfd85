#include "app/demo.h"

#include "net/package_address.h"
#include "platform/win32.h"

#include <filesystem>
#include <fstream>
#include <random>

// The sample package, embedded at build time.
extern "C" const unsigned char demo_sample_package[];
extern "C" const unsigned char demo_sample_package_end[];

namespace {

namespace fs = std::filesystem;

constexpr const char* kDemoKey = "DEMO-2026-01";

fs::path MakeFreshFolder()
{
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = fs::temp_directory_path() / ("installer-demo-" + std::to_string(random() % 1000000));
        std::error_code ec;
        if (fs::create_directory(candidate, ec))
            return candidate;
    }
    return fs::path();
}

bool WriteFile(const fs::path& path, const void* data, std::size_t size)
{
    std::ofstream out(path, std::ios::binary);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(out);
}

} // namespace

DemoWorld PrepareDemo()
{
    DemoWorld world;
    const fs::path root = MakeFreshFolder();
    if (root.empty()) {
        world.error = "cannot make a temporary folder in " + fs::temp_directory_path().string();
        return world;
    }
    world.root = root.string();
    world.stickFolder = (root / "U盘").string();
    world.diskFolder = (root / "硬盘").string();
    world.packageKey = kDemoKey;
    const fs::path setup = root / "cloud" / "setup";
    std::error_code ec;
    fs::create_directories(world.stickFolder, ec);
    fs::create_directories(world.diskFolder, ec);
    fs::create_directories(setup, ec);

    const std::size_t packageSize = static_cast<std::size_t>(demo_sample_package_end - demo_sample_package);
    const std::string map = "# the demo's drives\n"
                            "C fixed     " +
        world.diskFolder +
        " free=20G\n"
        "E removable " +
        world.stickFolder + " free=8G\n";
    const std::string probe = "the demo's probe answers without a network\n";
    if (ec || !WriteFile(setup / MakePackageFileName(kDemoKey), demo_sample_package, packageSize) ||
        !WriteFile(root / "volumes.map", map.data(), map.size()) ||
        !WriteFile(root / "cloud" / "probe.txt", probe.data(), probe.size())) {
        world.error = "cannot write the demo's files in " + world.root;
        return world;
    }

    SetEnvironmentVariableW(L"INSTALLER_VOLUME_MAP", platform::Widen((root / "volumes.map").string()).c_str());
    cloudBaseUrl = "file://" + setup.string() + "/";
    cloudBaseUrlAlt = cloudBaseUrl;
    probeAddress = "file://" + (root / "cloud" / "probe.txt").string();
    return world;
}
