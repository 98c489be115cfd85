#include "app/command_line.h"

#include "net/proxy_setting.h"

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
        else if (arg == kSettingsOnStdinOption)
            line.settingsOnStdin = true;
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
            if (line.proxy && !net::IsProxyValue(*line.proxy))
                line.error =
                    "--proxy needs \"direct\" or a proxy URL (http, https, socks4, socks4a, socks5, socks5h) with a "
                    "host and an optional port, nothing after it: " +
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

RunOptions MakeRunOptions(
    const CommandLine& line, const std::optional<std::string>& siteProxy, bool startedThroughPkexec)
{
    // Exactly the proxy it was given, else the site settings', else the desktop's as handed
    // over; started through pkexec, nothing of the caller's environment (pkexec drops the proxy
    // variables anyway).
    return {.unattended = line.unattended,
        .verify = line.verify,
        .eject = line.eject,
        .stickCount = line.count,
        .proxy = net::RunProxy(line.proxy, siteProxy, line.desktopProxy, startedThroughPkexec)};
}

std::string HandOverText(const CommandLine& line, const std::string& desktopProxy)
{
    return line.proxy ? "proxy=" + *line.proxy + "\n" : "desktop-proxy=" + desktopProxy + "\n";
}

std::string ReadHandOver(std::istream& in, CommandLine& line)
{
    constexpr std::size_t kLargest = 64 * 1024;
    std::string text(kLargest + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > kLargest)
        return "the settings on standard input are too long";
    std::optional<std::string> proxy;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string entry = text.substr(start, end - start);
        start = end + 1;
        if (entry.empty())
            continue;
        const std::size_t equals = entry.find('=');
        const std::string name = entry.substr(0, equals);
        const std::string value = equals == std::string::npos ? std::string() : entry.substr(equals + 1);
        if (name != "proxy" && name != "desktop-proxy")
            return "unknown setting on standard input: " + name;
        if (!net::IsProxyValue(value))
            return "the " + name +
                " on standard input is not \"direct\" or a proxy URL with a host and an optional port";
        (name == "proxy" ? proxy : line.desktopProxy) = value;
    }
    if (!line.proxy)
        line.proxy = proxy;
    return {};
}

std::vector<std::string> ArgumentsWithoutSecrets(int argc, const char* const* argv)
{
    std::vector<std::string> kept;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--proxy")
            ++i;
        else if (!Is(arg, "--proxy"))
            kept.emplace_back(arg);
    }
    return kept;
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
                      socks4a://, socks5://, socks5h://; a host and an optional port, no
                      path), or directly with "direct"; without it
                      a run started as root reads http_proxy, https_proxy and no_proxy, and a
                      run that elevates itself passes on the desktop's proxy for the package
  --settings-on-stdin read the proxy as the elevating process hands it over, on standard
                      input (what the program itself passes to the run it elevates)
  --drives            print every drive letter with its type, free space and folder (and why
                      it never receives the download, for such a drive), and the disk that
                      would receive the download, then exit
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

Site settings, read by every run, the elevated one too: /etc/kelvo-courseware-installer/
installer.conf, then installer.conf.d/*.conf in name order (a later line wins), "key = value"
lines and # comments. Used only when root owns the file and every folder above it, nobody else
may write them, and the file is no link; otherwise, and for an unknown key or a line that does
not parse, the run stops with exit 2. An INSTALLER_* variable wins over a key (not through
pkexec); --proxy wins over proxy.
  storage_urls                   base URLs ending in /setup/, separated by spaces, tried in
                                 order while one cannot be reached (school mirror first)
  storage_url_alt                the base URL qaswitch.txt selects
  probe_address                  the reachability probe's host, with an optional :port
  ca_file                        a CA certificate file trusted for HTTPS
  proxy                          a proxy URL, or "direct"
  size_probe_timeout_s           the size probe's time limit in seconds (default 20)
  first_byte_timeout_s           how long a server may keep the first byte back before the try
                                 counts as stalled, in seconds (default 600)
)";
}
