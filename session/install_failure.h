// The ways an installation can fail, each with the side it failed on and the text the user
// reads for it.
#pragma once

#include "extraction/package_extractor.h"
#include "net/file_downloader.h"
#include "platform/win32_types.h"
#include "ui/user_texts.h"

enum class InstallFailure : WPARAM {
    NetworkUnavailable = 1,
    WorkFolder = 2,
    Download = 3,
    Extraction = 4, // writing onto the stick failed
    DownloadSave = 5, // the archive could not be written into the work folder
    ArchiveDamaged = 6, // the downloaded archive cannot be read
    ArchiveContent = 7, // the archive holds entries that cannot be installed
    FileTooLargeForFat32 = 8, // a file of 4 GiB or more for a FAT32 stick
    Verification = 9, // what was read back from the stick is not what was written
    StickFull = 10, // the package does not fit into the stick's free space
    WorkFolderUnsafe = 11, // the work folder is there but others could change it (its text
    // names the folder: WorkFolderRefusalText)
    PackageMissing = 12, // the storage answered the download that the package is not there
    ProxyRefused = 13, // a proxy asked for credentials
    PackageChanged = 14, // the package on the storage changed during the download
};

// The message the user reads for the failure.
inline LPCWSTR InstallFailureText(InstallFailure failure)
{
    switch (failure) {
    case InstallFailure::NetworkUnavailable:
        return text::kNetworkUnavailable;
    case InstallFailure::WorkFolder:
    case InstallFailure::WorkFolderUnsafe:
        return text::kWorkFolderFailed;
    case InstallFailure::Download:
        return text::kDownloadFailed;
    case InstallFailure::Extraction:
        return text::kStickWriteFailed;
    case InstallFailure::DownloadSave:
        return text::kDownloadSaveFailed;
    case InstallFailure::ArchiveDamaged:
        return text::kArchiveDamaged;
    case InstallFailure::ArchiveContent:
        return text::kArchiveContent;
    case InstallFailure::FileTooLargeForFat32:
        return text::kFileTooLargeForFat32;
    case InstallFailure::StickFull:
        return text::kStickFull;
    case InstallFailure::Verification:
        return text::kVerificationFailed;
    case InstallFailure::PackageMissing:
        return text::kPackageMissing;
    case InstallFailure::ProxyRefused:
        return text::kProxyRefused;
    case InstallFailure::PackageChanged:
        return text::kPackageChanged;
    }
    return L"";
}

// The failure the user is told of for a download that failed: a disk that cannot hold the
// archive, a server's or a proxy's answer, and a damaged download are not the network's fault.
inline InstallFailure FailureOf(DownloadFailure failure)
{
    switch (failure) {
    case DownloadFailure::LocalFile:
        return InstallFailure::DownloadSave;
    case DownloadFailure::Missing:
        return InstallFailure::PackageMissing;
    case DownloadFailure::ProxyRefused:
        return InstallFailure::ProxyRefused;
    case DownloadFailure::Changed:
        return InstallFailure::PackageChanged;
    case DownloadFailure::Damaged:
        return InstallFailure::ArchiveDamaged;
    default:
        return InstallFailure::Download;
    }
}

// The part a failed download leaves is of no use to a later run: the disk refused it, it is not
// the file its server described, or the server has no such file.
inline bool PartIsUseless(DownloadFailure failure)
{
    return failure == DownloadFailure::LocalFile || failure == DownloadFailure::Damaged ||
        failure == DownloadFailure::Missing;
}

// The failure the user is told of for an extraction that failed.
inline InstallFailure FailureOf(ExtractFailure failure)
{
    switch (failure) {
    case ExtractFailure::ArchiveUnreadable:
        return InstallFailure::ArchiveDamaged;
    case ExtractFailure::ArchiveContent:
        return InstallFailure::ArchiveContent;
    case ExtractFailure::TooLargeForFat32:
        return InstallFailure::FileTooLargeForFat32;
    case ExtractFailure::StickFull:
        return InstallFailure::StickFull;
    default:
        return InstallFailure::Extraction;
    }
}
