#include "app/command_line.h"

#include <algorithm>
#include <string_view>

namespace {

// "--name VALUE" or "--name=VALUE"; advances i past the value.
std::optional<std::string> TakeValue(
    std::string_view name, int argc, const char* const* argv, int& i, std::string& error)
{
    const std::string_view arg = argv[i];
    if (arg.size() > name.size() && arg[name.size()] == '=')
        return std::string(arg.substr(name.size() + 1));
    if (i + 1 < argc)
        return std::string(argv[++i]);
    error = std::string(name) + " needs a value";
    return std::nullopt;
}

// 1 to 100000 written in decimal digits only; nullopt otherwise.
std::optional<int> PositiveCount(const std::string& text)
{
    if (text.empty() || text.size() > 6 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int value = std::stoi(text);
    if (value < 1 || value > 100000)
        return std::nullopt;
    return value;
}

// "direct", or a proxy URL of a scheme libcurl takes with a host after it and no spaces or
// control characters.
bool IsProxyValue(std::string_view value)
{
    if (value == "direct")
        return true;
    const std::size_t separator = value.find("://");
    if (separator == std::string_view::npos || separator + 3 == value.size() ||
        std::any_of(
            value.begin(), value.end(), [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7F; }))
        return false;
    constexpr std::string_view kSchemes[] = {"http", "https", "socks4", "socks4a", "socks5", "socks5h"};
    return std::find(std::begin(kSchemes), std::end(kSchemes), value.substr(0, separator)) != std::end(kSchemes);
}

bool Is(std::string_view arg, std::string_view name)
{
    return arg == name || (arg.size() > name.size() && arg.substr(0, name.size()) == name && arg[name.size()] == '=');
}

} // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv)
{
    CommandLine line;
    for (int i = 1; i < argc && line.error.empty(); ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--drives")
            line.printDrives = true;
        else if (arg == "--version")
            line.printVersion = true;
        else if (arg == "--help" || arg == "-h")
            line.printHelp = true;
        else if (arg == "--demo")
            line.demo = true;
        else if (arg == "--unattended")
            line.unattended = true;
        else if (arg == "--no-verify")
            line.verify = false;
        else if (arg == "--station")
            line.station = true;
        else if (arg == "--eject")
            line.eject = true;
        else if (Is(arg, "--count")) {
            const std::optional<std::string> value = TakeValue("--count", argc, argv, i, line.error);
            if (value)
                line.count = PositiveCount(*value);
            if (value && !line.count)
                line.error = "--count needs a whole number from 1 up: " + *value;
        } else if (Is(arg, "--render-skin"))
            line.renderSkinDir = TakeValue("--render-skin", argc, argv, i, line.error);
        else if (Is(arg, "--package-key"))
            line.packageKey = TakeValue("--package-key", argc, argv, i, line.error);
        else if (Is(arg, "--proxy")) {
            line.proxy = TakeValue("--proxy", argc, argv, i, line.error);
            if (line.proxy && !IsProxyValue(*line.proxy))
                line.error =
                    "--proxy needs \"direct\" or a proxy URL (http, https, socks4, socks4a, socks5, socks5h): " +
                    *line.proxy;
        } else
            line.error = "unknown option: " + std::string(arg);
    }
    if (line.error.empty() && line.count && !line.station)
        line.error = "--count needs --station";
    if (line.error.empty() && line.station && (line.demo || line.unattended))
        line.error = "--station cannot be combined with --demo or --unattended";
    return line;
}

std::string RefusalThroughPkexec(const CommandLine& line)
{
    constexpr const char* kOnlyInstallations = "started through pkexec, only an installation run is accepted";
    if (!line.error.empty())
        return line.error + " (started through pkexec)";
    const char* option = line.printHelp ? "--help"
        : line.printVersion             ? "--version"
        : line.printDrives              ? "--drives"
        : line.demo                     ? "--demo"
        : line.renderSkinDir            ? "--render-skin"
                                        : nullptr;
    return option ? std::string(option) + " refused: " + kOnlyInstallations : std::string();
}

std::string HelpText()
{
    return R"(Usage: installer [OPTION]...
Puts one courseware package onto one USB stick.

Options:
  --package-key KEY   the courseware volume to install; without it, the first line of
                      packagekey.txt beside the program
  --demo              run against a stick folder and a disk folder in a fresh temporary
                      folder, with a sample package; needs no stick, server or elevation
  --unattended        click start as soon as the drives are ready, answer every message with
                      its default button, print progress; exit 0 when installed, 1 on failure,
                      2 when the drives are not ready
  --no-verify         do not read the package back from the stick after writing it (by
                      default everything written is read back and compared); the run then
                      says 安装完成（未校验）
  --eject             once the package is on a stick, unmount it and power it off through
                      udisks2 so it can be pulled at once; without udisks2 the stick is still
                      safe to pull, and a line says it was not ejected
  --station           station mode, without windows: download the package once, then write it
                      onto every removable drive present or plugged in later (4.5 GiB free or
                      more), all at once, each read back unless --no-verify; one line per stick
                      and a summary table at the end; runs until Ctrl-C/SIGTERM
  --count N           with --station: end once N sticks have finished; exit 0 when every
                      stick started was installed, 1 otherwise, 2 when the hard disk, the key
                      or the package refused
  --proxy PROXY       every request goes through PROXY (http://HOST:PORT, https://, socks4://,
                      socks4a://, socks5://, socks5h://), or directly with "direct"; without it
                      a run started as root reads http_proxy, https_proxy and no_proxy, and a
                      run that elevates itself passes on the desktop's proxy for the package
  --drives            print every drive letter with its type, free space and folder, and the
                      disk that would receive the download, then exit
  --render-skin DIR   draw every window of the skin into DIR as PNG files, then exit
  --version           print the version and exit
  --help              print this text and exit

Environment:
  INSTALLER_VOLUME_MAP           a volume map file used instead of the mounted volumes: one
                                 line per drive, "LETTER TYPE FOLDER [free=N] [fs=NAME] [mounted]"
                                 (TYPE removable, fixed, remote, cdrom, ramdisk or unknown; N in
                                 bytes, with an optional K, M, G or T suffix; fs= the file system
                                 the drive reports; mounted: a volume only while FOLDER is a
                                 mount point)
  INSTALLER_CLOUD_BASE_URL       base URL of the package archives (ends in /setup/)
  INSTALLER_CLOUD_BASE_URL_ALT   the base URL used when qaswitch.txt lies beside the program
  INSTALLER_PROBE_ADDRESS        the reachability probe's host, with an optional :port
  INSTALLER_CA_BUNDLE            a CA certificate file trusted for HTTPS
  INSTALLER_DEBUG_OUTPUT         "1" or "stderr" prints debug lines to standard error; any
                                 other value names a file they are appended to
  INSTALLER_RETRY_DELAY_MS       the wait before a cut download's first try again, in ms
                                 (default 1000; each later wait doubles it)
  INSTALLER_SERIAL_INSTALL       "1": the stick is written only once the package is downloaded
                                 whole, never while it downloads (for benchmarks)
  QT_QPA_PLATFORM                the window system (xcb, wayland, offscreen)
A process started through pkexec ignores every INSTALLER_* variable and the proxy variables,
and runs installations only (no --help, --version, --drives, --demo, --render-skin).

Files beside the program (the installed program also looks in /etc/kelvo-courseware-installer/):
  qaswitch.txt                   selects the alternate base URL
  packagekey.txt                 its first line is the package key
)";
}
