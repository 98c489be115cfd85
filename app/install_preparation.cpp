#include "app/install_preparation.h"

#include "app/package_key.h"
#include "net/http_request.h"
#include "net/package_address.h"
#include "platform/diagnostics.h"
#include "platform/win32.h"
#include "ui/user_texts.h"

#include <cstdint>
#include <vector>

namespace {

// Answers of 1 byte up to just under 1 MiB are the storage's error page for a package that
// does not exist; 0, larger answers and "no answer" (-1, read unsigned) go on.
constexpr std::uint32_t kSmallestPackage = 1048576;

bool PackageMissing(int probedSize)
{
    const auto size = static_cast<std::uint32_t>(probedSize);
    return size >= 1 && size < kSmallestPackage;
}

// A proxy that wants credentials and a storage that is failing answer with short error pages as
// well; neither says anything about the package.
std::optional<PreparationStop> StopFor(const ProbedFile& probed)
{
    if (probed.status == 407)
        return PreparationStop::ProxyRefused;
    if (probed.status >= 500 && probed.status <= 599)
        return PreparationStop::StorageFailing;
    if (PackageMissing(SizeProbeAnswer(probed.version)))
        return PreparationStop::PackageMissing;
    return std::nullopt;
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
    case PreparationStop::ProxyRefused:
        return text::kProxyRefused;
    case PreparationStop::StorageFailing:
        return text::kDownloadFailed;
    case PreparationStop::Abandoned:
        break;
    }
    return nullptr;
}

platform::Result<PreparedInstall, PreparationStop> PrepareInstallation(
    const std::string& key, const DriveInfo& downloadDisk, const SizeProbe& probe)
{
    if (key.empty())
        return PreparationStop::NoPackageKey;
    if (!IsSafePackageKey(key))
        return PreparationStop::BadPackageKey;

    PreparedInstall prepared;
    prepared.fileName = MakePackageFileName(key);
    prepared.workFolder = platform::Narrow(downloadDisk.driveName + L"\\kelvo\\");
    prepared.archivePath = prepared.workFolder + prepared.fileName;

    std::vector<std::string> bases{activeCloudBaseUrl};
    bases.insert(bases.end(), activeCloudBaseUrlFallbacks.begin(), activeCloudBaseUrlFallbacks.end());
    for (auto base = bases.begin();; ++base) {
        // The URL carries the name percent-encoded; the archive on the disk keeps it as it is.
        prepared.url = PackageUrl(*base, prepared.fileName);
        const std::optional<ProbedFile> probed = probe(prepared.url);
        if (!probed)
            return PreparationStop::Abandoned;
        if (probed->unreachable && base + 1 != bases.end()) {
            platform::WriteDiagnosticLine(
                platform::DiagnosticStream::Error, "storage " + *base + " cannot be reached; trying " + *(base + 1));
            continue;
        }
        if (const auto stop = StopFor(*probed))
            return *stop;
        prepared.probed = probed->version;
        return prepared;
    }
}
