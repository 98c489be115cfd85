#include "app/install_preparation.h"

#include "app/package_key.h"
#include "net/http_request.h"
#include "net/package_address.h"
#include "platform/win32.h"
#include "ui/user_texts.h"

#include <cstdint>

namespace {

// Answers of 1 byte up to just under 1 MiB are the storage's error page for a package that
// does not exist; 0, larger answers and "no answer" (-1, read unsigned) go on.
constexpr std::uint32_t kSmallestPackage = 1048576;

bool PackageMissing(int probedSize)
{
    const auto size = static_cast<std::uint32_t>(probedSize);
    return size >= 1 && size < kSmallestPackage;
}

} // namespace

const wchar_t* PreparationStopText(PreparationStop stop)
{
    switch (stop) {
    case PreparationStop::NoPackageKey:
        return text::kNoPackageKey;
    case PreparationStop::BadPackageKey:
        return text::kBadPackageKey;
    case PreparationStop::PackageMissing:
        return text::kPackageMissing;
    case PreparationStop::Abandoned:
        break;
    }
    return nullptr;
}

platform::Result<PreparedInstall, PreparationStop> PrepareInstallation(
    const DriveInfo& downloadDisk, const SizeProbe& probe)
{
    if (packageKey.empty())
        return PreparationStop::NoPackageKey;
    if (!IsSafePackageKey(packageKey))
        return PreparationStop::BadPackageKey;
    packageFileName = MakePackageFileName(packageKey);

    PreparedInstall prepared;
    prepared.workFolder = platform::Narrow(downloadDisk.driveName + L"\\kelvo\\");
    // The URL carries the name percent-encoded; the archive on the disk keeps it as it is.
    prepared.url = PackageUrl(activeCloudBaseUrl, packageFileName);
    prepared.archivePath = prepared.workFolder + packageFileName;

    const std::optional<RemoteVersion> probed = probe(prepared.url);
    if (!probed)
        return PreparationStop::Abandoned;
    if (PackageMissing(SizeProbeAnswer(*probed)))
        return PreparationStop::PackageMissing;
    prepared.probed = *probed;
    return prepared;
}
