#include "platform/drive_eject.h"

#include "platform/system/system_bus.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

namespace platform {
namespace {

constexpr const char* kService = "org.freedesktop.UDisks2";
constexpr const char* kRoot = "/org/freedesktop/UDisks2";
constexpr const char* kBlockInterface = "org.freedesktop.UDisks2.Block";
constexpr const char* kFilesystemInterface = "org.freedesktop.UDisks2.Filesystem";
constexpr const char* kDriveInterface = "org.freedesktop.UDisks2.Drive";

constexpr std::uint64_t kQueryTimeoutUsec = 5'000'000;
// Unmounting waits for the cache to reach the stick, and a slow stick can take a while.
constexpr std::uint64_t kEjectTimeoutUsec = 120'000'000;

std::string_view WithoutTrailingSlashes(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    return path;
}

struct BlockObject {
    std::string path; // the block device's object
    std::string drive; // its drive's object; "/" when it has none
};

// Reads one interface's properties of a block object: its mount points and its drive.
int ReadProperties(sd_bus_message* reply, std::string_view interface, std::string_view mountPoint, bool& mountedThere,
    std::string& drive)
{
    int r = sd_bus_message_enter_container(reply, 'a', "{sv}");
    while (r >= 0 && (r = sd_bus_message_enter_container(reply, 'e', "sv")) > 0) {
        const char* name = nullptr;
        if ((r = sd_bus_message_read(reply, "s", &name)) < 0)
            return r;
        if (interface == kFilesystemInterface && std::strcmp(name, "MountPoints") == 0) {
            if ((r = sd_bus_message_enter_container(reply, 'v', "aay")) < 0 ||
                (r = sd_bus_message_enter_container(reply, 'a', "ay")) < 0)
                return r;
            const void* bytes = nullptr;
            std::size_t size = 0;
            while ((r = sd_bus_message_read_array(reply, 'y', &bytes, &size)) > 0) {
                std::string_view point(static_cast<const char*>(bytes), size);
                if (!point.empty() && point.back() == '\0')
                    point.remove_suffix(1); // udisks2 ends every path with a NUL
                mountedThere = mountedThere || WithoutTrailingSlashes(point) == mountPoint;
            }
            if (r < 0 || (r = sd_bus_message_exit_container(reply)) < 0 ||
                (r = sd_bus_message_exit_container(reply)) < 0)
                return r;
        } else if (interface == kBlockInterface && std::strcmp(name, "Drive") == 0) {
            const char* object = nullptr;
            if ((r = sd_bus_message_read(reply, "v", "o", &object)) < 0)
                return r;
            drive = object;
        } else if ((r = sd_bus_message_skip(reply, "v")) < 0) {
            return r;
        }
        r = sd_bus_message_exit_container(reply);
    }
    return r < 0 ? r : sd_bus_message_exit_container(reply);
}

// The block object with a file system mounted at mountPoint, from udisks2's object tree
// (a{oa{sa{sv}}}); nullopt when there is none or the reply does not read.
std::optional<BlockObject> FindMountedBlock(sd_bus_message* reply, std::string_view mountPoint)
{
    int r = sd_bus_message_enter_container(reply, 'a', "{oa{sa{sv}}}");
    while (r >= 0 && (r = sd_bus_message_enter_container(reply, 'e', "oa{sa{sv}}")) > 0) {
        const char* path = nullptr;
        if (sd_bus_message_read(reply, "o", &path) < 0 || sd_bus_message_enter_container(reply, 'a', "{sa{sv}}") < 0)
            return std::nullopt;
        bool mountedThere = false;
        std::string drive = "/";
        while ((r = sd_bus_message_enter_container(reply, 'e', "sa{sv}")) > 0) {
            const char* interface = nullptr;
            if (sd_bus_message_read(reply, "s", &interface) < 0 ||
                ReadProperties(reply, interface, mountPoint, mountedThere, drive) < 0 ||
                sd_bus_message_exit_container(reply) < 0)
                return std::nullopt;
        }
        if (r < 0 || sd_bus_message_exit_container(reply) < 0 || sd_bus_message_exit_container(reply) < 0)
            return std::nullopt;
        if (mountedThere)
            return BlockObject{path, drive};
    }
    return std::nullopt;
}

// Calls a udisks2 method that takes only its options (a{sv}), never asking for a password.
int CallWithoutInteraction(
    sd_bus* bus, const std::string& object, const char* interface, const char* method, BusError& error)
{
    return sd_bus_call_method(bus, kService, object.c_str(), interface, method, &error.value, nullptr, "a{sv}", 1,
        "auth.no_user_interaction", "b", 1);
}

EjectResult NotEjected(const BusError& error, int result)
{
    return {EjectResult::Status::NotEjected,
        error.value.message ? error.value.message : std::string(std::strerror(-result))};
}

} // namespace

EjectResult EjectMountedVolume(const std::string& mountPoint)
{
    const Bus bus = OpenSystemBus();
    if (!bus)
        return {EjectResult::Status::NotEjected, "no system bus"};
    sd_bus_set_method_call_timeout(bus.get(), kQueryTimeoutUsec);

    BusError error;
    sd_bus_message* rawReply = nullptr;
    int r = sd_bus_call_method(bus.get(), kService, kRoot, "org.freedesktop.DBus.ObjectManager", "GetManagedObjects",
        &error.value, &rawReply, "");
    if (r < 0)
        return NotEjected(error, r);
    const BusMessage reply(rawReply);
    const std::optional<BlockObject> block = FindMountedBlock(reply.get(), WithoutTrailingSlashes(mountPoint));
    if (!block)
        return {EjectResult::Status::NoDevice, {}};

    sd_bus_set_method_call_timeout(bus.get(), kEjectTimeoutUsec);
    if ((r = CallWithoutInteraction(bus.get(), block->path, kFilesystemInterface, "Unmount", error)) < 0)
        return NotEjected(error, r);
    if (block->drive != "/" &&
        (r = CallWithoutInteraction(bus.get(), block->drive, kDriveInterface, "PowerOff", error)) < 0)
        return NotEjected(error, r);
    return {EjectResult::Status::Ejected, {}};
}

} // namespace platform
