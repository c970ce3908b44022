// The system-call boundary of the emulator: the C library functions a program (or
// libv4l2, which makes its calls through syscall()) uses on a video node, interposed
// with LD_PRELOAD. Calls that concern an emulated node, its /dev/v4l/by-id link or
// the folders that list them are answered here; everything else goes to the C
// library untouched.
//
// An open node is a real descriptor (an eventfd), so that close, dup, poll, select
// and epoll work on it; a table maps descriptors to the open file they stand for.

#include "EmulatedCamera.h"
#include "EmulatorConfig.h"
#include "RealCalls.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <poll.h>
#include <set>
#include <string>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/mman.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>
#include <vector>

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace camemu {
namespace {

// ---- the C library's functions --------------------------------------------------------

template <typename F> F next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}
template <typename F> F nextVersion(const char* name, const char* version) {
    void* f = dlvsym(RTLD_NEXT, name, version);
    return reinterpret_cast<F>(f ? f : dlsym(RTLD_NEXT, name));
}

#define REAL(name, type)                                                                                     \
    static const auto real_##name = next<type>(#name);                                                       \
    (void)real_##name

using OpenFn = int (*)(const char*, int, ...);
using OpenatFn = int (*)(int, const char*, int, ...);

// ---- the emulator ----------------------------------------------------------------------

constexpr int kMaxFds = 1 << 16;
constexpr char kConfigVariable[] = "KV_CAMERA_EMULATOR_CONFIG";

struct FdEntry {
    std::shared_ptr<Handle> handle;
};

std::atomic<bool> g_ours[kMaxFds];    // whether a descriptor is an emulated node (no lock)
std::atomic<bool> g_inotify[kMaxFds]; // whether a descriptor is an inotify instance we watch for
std::atomic<bool> g_initialised{false};

class Emulator {
public:
    Emulator() {
        const char* path = std::getenv(kConfigVariable);
        if (!path || !*path) return;
        m_configPath = path;
        char shadow[] = "/tmp/camera-emulator-XXXXXX";
        if (mkdtemp(shadow)) {
            m_shadow = shadow;
            mkdir((m_shadow + "/by-id").c_str(), 0755);
            mkdir((m_shadow + "/empty").c_str(), 0755);
            mkdir((m_shadow + "/v4l").c_str(), 0755);
        }
        // What the processes on this configuration share (who holds each camera's
        // stream) is kept beside it.
        const std::string state = m_configPath + ".state";
        if (mkdir(state.c_str(), 0777) == 0 || errno == EEXIST) EmulatedCamera::stateFolder() = state;
        apply(readConfig(m_configPath));
        EmulatedCamera::s_usbReset = [](const std::shared_ptr<EmulatedCamera>& camera) {
            instance().usbReset(camera);
        };
        std::thread([this] { watchConfig(); }).detach();
        std::atexit([] { instance().removeShadow(); });
    }

    static Emulator& instance() {
        static Emulator* emulator = [] {
            auto* e = new Emulator;
            g_initialised = true;
            return e;
        }();
        return *emulator;
    }

    bool active() const { return !m_configPath.empty(); }

    // The camera behind a node path or a by-id link path.
    std::shared_ptr<EmulatedCamera> camera(const std::string& path) {
        std::lock_guard<std::mutex> lock(m_mutex);
        return findLocked(path);
    }

    enum class Kind { None, Node, Link, DevV4l, ByIdFolder };
    Kind kind(const std::string& path, std::shared_ptr<EmulatedCamera>* found = nullptr) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_cameras.empty()) return Kind::None;
        if (path == "/dev/v4l" || path == "/dev/v4l/") return hasLinks() ? Kind::DevV4l : Kind::None;
        if (path == "/dev/v4l/by-id" || path == "/dev/v4l/by-id/")
            return hasLinks() ? Kind::ByIdFolder : Kind::None;
        for (auto& [node, camera] : m_cameras)
            if (node == path) {
                if (found) *found = camera;
                return Kind::Node;
            }
        if (auto camera = linkLocked(path)) {
            if (found) *found = camera;
            return Kind::Link;
        }
        return Kind::None;
    }

    // Names a listing of `folder` gets besides its real ones, with their types.
    std::vector<std::pair<std::string, unsigned char>> extraEntries(const std::string& folder) {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<std::pair<std::string, unsigned char>> names;
        if (folder == "/dev" || folder == "/dev/") {
            for (auto& [node, camera] : m_cameras)
                if (node.rfind("/dev/", 0) == 0 && node.find('/', 5) == std::string::npos)
                    names.emplace_back(node.substr(5), DT_CHR);
            if (hasLinks()) names.emplace_back("v4l", DT_DIR);
        } else if (folder == "/dev/v4l" || folder == "/dev/v4l/") {
            if (hasLinks()) names.emplace_back("by-id", DT_DIR);
        } else if (folder == "/dev/v4l/by-id" || folder == "/dev/v4l/by-id/") {
            std::set<std::string> links;
            for (auto& [node, camera] : m_cameras)
                if (!camera->config().byId.empty()) links.insert(camera->config().byId);
            for (const std::string& link : links)
                names.emplace_back(link, DT_LNK);
        }
        return names;
    }

    std::string shadowFor(const std::string& watched) const {
        if (m_shadow.empty()) return {};
        if (watched == "/dev" || watched == "/dev/") return m_shadow;
        if (watched == "/dev/v4l/by-id" || watched == "/dev/v4l/by-id/") return m_shadow + "/by-id";
        return {};
    }
    std::string emptyFolder() const { return m_shadow + "/empty"; }

    std::string nodeByMinor(std::uint32_t minorNumber) {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto& [node, camera] : m_cameras)
            if (camera->minorNumber() == minorNumber) return node;
        return {};
    }

    // The by-id link's target as udev writes it.
    static std::string linkTarget(const EmulatedCamera& camera) {
        return "../.." + camera.config().node.substr(4);
    }

private:
    bool hasLinks() const {
        for (auto& [node, camera] : m_cameras)
            if (!camera->config().byId.empty()) return true;
        return false;
    }
    std::shared_ptr<EmulatedCamera> findLocked(const std::string& path) {
        for (auto& [node, camera] : m_cameras)
            if (node == path) return camera;
        return linkLocked(path);
    }
    // Two cameras with the same link: it points to the one that came last (udev
    // replaces the link for each device it adds).
    std::shared_ptr<EmulatedCamera> linkLocked(const std::string& path) {
        const std::string prefix = "/dev/v4l/by-id/";
        if (path.rfind(prefix, 0) != 0) return nullptr;
        std::shared_ptr<EmulatedCamera> last;
        for (const std::string& node : m_order) {
            auto it = m_cameras.find(node);
            if (it != m_cameras.end() && it->second->config().byId == path.substr(prefix.size()))
                last = it->second;
        }
        return last;
    }

    static std::uint32_t minorOf(const std::string& node, std::uint32_t fallback) {
        const auto pos = node.rfind("video");
        if (pos == std::string::npos) return fallback;
        return std::uint32_t(std::strtoul(node.c_str() + pos + 5, nullptr, 10));
    }

    // What the configuration says is plugged in now: cameras that went away are
    // unplugged, new ones appear (the shadow folder mirrors /dev for inotify).
    void apply(std::vector<CameraConfig> configs) {
        std::vector<std::shared_ptr<EmulatedCamera>> gone;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            std::set<std::string> wanted;
            for (const CameraConfig& config : configs)
                wanted.insert(config.node);
            for (auto it = m_cameras.begin(); it != m_cameras.end();) {
                if (wanted.count(it->first)) {
                    ++it;
                    continue;
                }
                gone.push_back(it->second);
                m_order.erase(std::remove(m_order.begin(), m_order.end(), it->first), m_order.end());
                it = m_cameras.erase(it);
            }
            std::uint32_t index = 200;
            for (CameraConfig& config : configs) {
                if (m_cameras.count(config.node)) continue;
                const std::string node = config.node;
                m_cameras[node] = std::make_shared<EmulatedCamera>(std::move(config), minorOf(node, index++));
                m_order.push_back(node);
                touchShadow(node, true);
                const std::string& byId = m_cameras[node]->config().byId;
                if (!byId.empty()) touchShadow("/by-id/" + byId, true);
                if (m_cameras[node]->config().quirks.udevPermissionsMs) {
                    const unsigned ms = m_cameras[node]->config().quirks.udevPermissionsMs;
                    std::thread([this, node, ms] {
                        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                        touchShadow(node, true, true); // udev's chmod: IN_ATTRIB
                    }).detach();
                }
            }
        }
        for (auto& camera : gone) {
            camera->unplug();
            std::lock_guard<std::mutex> lock(m_mutex);
            touchShadow(camera->config().node, false);
            bool linkKept = false;
            for (auto& [node, other] : m_cameras)
                linkKept |= other->config().byId == camera->config().byId;
            if (!camera->config().byId.empty() && !linkKept)
                touchShadow("/by-id/" + camera->config().byId, false);
        }
    }

    // A USB reset: the camera is unplugged, and a camera of the same description is
    // made at the same node at once (its node file removed and made again).
    void usbReset(const std::shared_ptr<EmulatedCamera>& camera) {
        camera->unplug();
        std::lock_guard<std::mutex> lock(m_mutex);
        const std::string node = camera->config().node;
        const auto it = m_cameras.find(node);
        if (it == m_cameras.end() || it->second != camera) return; // unplugged meanwhile
        CameraConfig config = camera->config();
        config.quirks.usbResetAfter = 0;
        it->second = std::make_shared<EmulatedCamera>(std::move(config), camera->minorNumber());
        touchShadow(node, false);
        touchShadow(node, true);
    }

    void touchShadow(const std::string& node, bool present, bool attributes = false) {
        if (m_shadow.empty()) return;
        const std::string name = node.rfind("/dev/", 0) == 0 ? node.substr(5) : node.substr(1);
        const std::string path = m_shadow + "/" + name;
        if (attributes) {
            chmod(path.c_str(), 0660);
        } else if (present) {
            const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
            if (fd >= 0) real::close(fd);
        } else {
            unlink(path.c_str());
        }
    }

    void removeShadow() {
        if (m_shadow.empty()) return;
        for (const char* sub : {"/by-id", "/empty", "/v4l", ""}) {
            const std::string folder = m_shadow + sub;
            if (DIR* dir = next<DIR* (*)(const char*)>("opendir")(folder.c_str())) {
                while (dirent* e = next<dirent* (*)(DIR*)>("readdir")(dir))
                    if (e->d_type == DT_REG) unlink((folder + "/" + e->d_name).c_str());
                next<int (*)(DIR*)>("closedir")(dir);
            }
            rmdir(folder.c_str());
        }
    }

    void watchConfig() {
        const int fd = inotify_init1(IN_CLOEXEC);
        if (fd < 0) return;
        const auto slash = m_configPath.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : m_configPath.substr(0, slash);
        const std::string name = m_configPath.substr(slash == std::string::npos ? 0 : slash + 1);
        if (inotify_add_watch(fd, folder.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_DELETE) < 0) {
            real::close(fd);
            return;
        }
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t length = real::read(fd, buffer, sizeof buffer);
            if (length <= 0) {
                if (errno == EINTR) continue;
                return;
            }
            bool changed = false;
            for (ssize_t offset = 0; offset < length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
                offset += ssize_t(sizeof(inotify_event) + event->len);
                if (event->len && name == event->name) changed = true;
            }
            if (changed) apply(readConfig(m_configPath));
        }
    }

    std::string m_configPath, m_shadow;
    std::mutex m_mutex;
    std::map<std::string, std::shared_ptr<EmulatedCamera>> m_cameras;
    std::vector<std::string> m_order; // nodes in the order they came
};

// Whether a path may name something of ours: only absolute /dev paths do. Decided
// without the emulator, so that calls made before it exists cost nothing.
bool maybeOurs(const char* path) {
    return path && std::strncmp(path, "/dev/", 5) == 0 && std::getenv(kConfigVariable);
}

Emulator* emulatorFor(const char* path) {
    if (!maybeOurs(path)) return nullptr;
    Emulator& e = Emulator::instance();
    return e.active() ? &e : nullptr;
}

// ---- descriptors ------------------------------------------------------------------------

std::mutex g_fdMutex;
std::map<int, std::shared_ptr<Handle>>& fdTable() {
    static auto* table = new std::map<int, std::shared_ptr<Handle>>;
    return *table;
}

std::shared_ptr<Handle> handleOf(int fd) {
    if (fd < 0 || fd >= kMaxFds || !g_ours[fd].load(std::memory_order_acquire)) return nullptr;
    std::lock_guard<std::mutex> lock(g_fdMutex);
    auto it = fdTable().find(fd);
    return it == fdTable().end() ? nullptr : it->second;
}

void addFd(int fd, std::shared_ptr<Handle> handle) {
    if (fd < 0 || fd >= kMaxFds) return;
    std::lock_guard<std::mutex> lock(g_fdMutex);
    fdTable()[fd] = std::move(handle);
    g_ours[fd] = true;
}

// ---- epoll ----------------------------------------------------------------------------
//
// The kernel's epoll asks a node's poll for the events registered and reports the
// answer masked by them (ep_item_poll), with EPOLLERR and EPOLLHUP always among them
// (do_epoll_ctl). An emulated node's descriptor is an eventfd, whose own poll says only
// EPOLLIN; so a registration of a node is made on a copy of the one of its handle's
// eventfds that is readable exactly while the camera's poll has something for those
// events, and what epoll_wait reports for it is the camera's own answer, under the
// program's data. The registration goes when the open file goes (its last descriptor
// closed), as the kernel's does, or when the epoll instance is closed.

int setErrno(int error);

struct EpollRegistration {
    int epfd = -1, fd = -1;
    const Handle* handle = nullptr;
    std::weak_ptr<Handle> owner;
    std::uint32_t events = 0; // as the program asked (with EPOLLET, EPOLLONESHOT...)
    epoll_data_t data{};
    int source = -1; // our copy of the eventfd registered in the kernel's epoll
};

std::mutex g_epollMutex;
std::atomic<bool> g_epollUsed[kMaxFds]; // whether an epoll instance has a node registered
std::map<std::pair<int, int>, std::unique_ptr<EpollRegistration>>& epollTable() {
    static auto* table = new std::map<std::pair<int, int>, std::unique_ptr<EpollRegistration>>;
    return *table;
}

int realEpollCtl(int epfd, int op, int fd, epoll_event* event) {
    REAL(epoll_ctl, int (*)(int, int, int, epoll_event*));
    return real_epoll_ctl(epfd, op, fd, event);
}

// The eventfd that is readable exactly when the camera's poll answers something for
// `events` (EPOLLERR and EPOLLHUP included): buffers or queue errors for EPOLLIN,
// waiting events for EPOLLPRI, either for both, only the device's end for neither.
int eventSourceFor(const Handle& handle, std::uint32_t events) {
    const bool in = events & (EPOLLIN | EPOLLRDNORM), pri = events & EPOLLPRI;
    if (in && pri) return handle.signalFd;
    if (in) return handle.bufferFd;
    if (pri) return handle.priorityFd;
    return handle.goneFd;
}

// Registers (or re-registers) `r` in the kernel's epoll with a fresh copy of its source.
int armEpoll(EpollRegistration& r, int op) {
    const int source = real::fcntl(eventSourceFor(*r.handle, r.events), F_DUPFD_CLOEXEC, 0);
    if (source < 0) return -1;
    epoll_event kernel{};
    // Our eventfd is asked for EPOLLIN; the program's flags go with it.
    kernel.events = EPOLLIN | (r.events & (EPOLLET | EPOLLONESHOT | EPOLLWAKEUP | EPOLLEXCLUSIVE));
    kernel.data.ptr = &r;
    if (realEpollCtl(r.epfd, EPOLL_CTL_ADD, source, &kernel) != 0) {
        const int error = errno;
        real::close(source);
        errno = error;
        return -1;
    }
    if (op == EPOLL_CTL_MOD && r.source >= 0) {
        realEpollCtl(r.epfd, EPOLL_CTL_DEL, r.source, nullptr);
        real::close(r.source);
    }
    r.source = source;
    return 0;
}

void disarmEpoll(EpollRegistration& r) {
    if (r.source < 0) return;
    realEpollCtl(r.epfd, EPOLL_CTL_DEL, r.source, nullptr);
    real::close(r.source);
    r.source = -1;
}

int epollCtlNode(int epfd, int op, int fd, const std::shared_ptr<Handle>& handle, epoll_event* event) {
    std::lock_guard<std::mutex> lock(g_epollMutex);
    auto& table = epollTable();
    const auto key = std::make_pair(epfd, fd);
    auto it = table.find(key);
    if (it != table.end() && it->second->handle != handle.get()) {
        // A registration of an open file closed since: the kernel dropped it then.
        disarmEpoll(*it->second);
        table.erase(it);
        it = table.end();
    }
    switch (op) {
    case EPOLL_CTL_ADD: {
        if (it != table.end()) return setErrno(EEXIST);
        if (!event) return setErrno(EFAULT);
        auto r = std::make_unique<EpollRegistration>();
        r->epfd = epfd;
        r->fd = fd;
        r->handle = handle.get();
        r->owner = handle;
        r->events = event->events;
        r->data = event->data;
        if (armEpoll(*r, EPOLL_CTL_ADD) != 0) return -1;
        table[key] = std::move(r);
        g_epollUsed[epfd] = true;
        return 0;
    }
    case EPOLL_CTL_MOD: {
        if (it == table.end()) return setErrno(ENOENT);
        if (!event) return setErrno(EFAULT);
        EpollRegistration& r = *it->second;
        const std::uint32_t before = r.events;
        r.events = event->events;
        r.data = event->data;
        if (armEpoll(r, EPOLL_CTL_MOD) != 0) {
            r.events = before;
            return -1;
        }
        return 0;
    }
    case EPOLL_CTL_DEL:
        if (it == table.end()) return setErrno(ENOENT);
        disarmEpoll(*it->second);
        table.erase(it);
        return 0;
    default:
        return setErrno(EINVAL);
    }
}

// The open file `handle` is gone: its registrations go with it.
void forgetEpollOf(const Handle* handle) {
    std::lock_guard<std::mutex> lock(g_epollMutex);
    auto& table = epollTable();
    for (auto it = table.begin(); it != table.end();) {
        if (it->second->handle == handle) {
            disarmEpoll(*it->second);
            it = table.erase(it);
        } else {
            ++it;
        }
    }
}

// An epoll instance is closed: the registrations made in it go.
void forgetEpollInstance(int epfd) {
    if (epfd < 0 || epfd >= kMaxFds || !g_epollUsed[epfd].exchange(false)) return;
    std::lock_guard<std::mutex> lock(g_epollMutex);
    auto& table = epollTable();
    for (auto it = table.begin(); it != table.end();) {
        if (it->first.first == epfd) {
            real::close(it->second->source); // the instance's own entry goes with it
            it = table.erase(it);
        } else {
            ++it;
        }
    }
}

// epoll_wait and its forms: the kernel's answer with our registrations' events
// replaced by the camera's answer; an event of ours with nothing to say is left out,
// and the wait goes on for the time left.
int epollWaitSome(int epfd, epoll_event* events, int maxEvents, const timespec* timeout,
                  const sigset_t* mask) {
    REAL(epoll_pwait2, int (*)(int, epoll_event*, int, const timespec*, const sigset_t*));
    REAL(epoll_pwait, int (*)(int, epoll_event*, int, int, const sigset_t*));
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        timespec left{};
        const timespec* wait = timeout;
        if (timeout) {
            const auto total =
                std::chrono::seconds(timeout->tv_sec) + std::chrono::nanoseconds(timeout->tv_nsec);
            const auto remaining = std::max(std::chrono::nanoseconds(0),
                                            std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                total - (std::chrono::steady_clock::now() - start)));
            left.tv_sec = remaining.count() / 1000000000;
            left.tv_nsec = remaining.count() % 1000000000;
            wait = &left;
        }
        int n;
        if (real_epoll_pwait2) {
            n = real_epoll_pwait2(epfd, events, maxEvents, wait, mask);
        } else {
            const int ms = wait ? int(wait->tv_sec * 1000 + (wait->tv_nsec + 999999) / 1000000) : -1;
            n = real_epoll_pwait(epfd, events, maxEvents, ms, mask);
        }
        if (n <= 0) return n;
        int kept = 0;
        {
            std::lock_guard<std::mutex> lock(g_epollMutex);
            for (int i = 0; i < n; ++i) {
                EpollRegistration* ours = nullptr;
                for (auto& [key, r] : epollTable())
                    if (key.first == epfd && r.get() == events[i].data.ptr) ours = r.get();
                if (!ours) {
                    events[kept++] = events[i];
                    continue;
                }
                std::uint32_t answer = 0;
                if (auto handle = ours->owner.lock()) {
                    const std::uint32_t asked = ours->events & (EPOLLIN | EPOLLRDNORM | EPOLLPRI | EPOLLOUT |
                                                                EPOLLWRNORM | EPOLLRDHUP);
                    answer = std::uint16_t(handle->camera->poll(*handle, short(asked))) &
                             (asked | EPOLLERR | EPOLLHUP);
                }
                if (!answer) {
                    // Nothing after all: a one-shot registration is armed again, as the
                    // kernel leaves it armed when the poll answers nothing.
                    if (ours->events & EPOLLONESHOT) armEpoll(*ours, EPOLL_CTL_MOD);
                    continue;
                }
                events[kept].events = answer;
                events[kept].data = ours->data;
                ++kept;
            }
        }
        if (kept > 0) return kept;
        if (timeout && timeout->tv_sec == 0 && timeout->tv_nsec == 0) return 0;
        if (timeout && std::chrono::steady_clock::now() - start >=
                           std::chrono::seconds(timeout->tv_sec) + std::chrono::nanoseconds(timeout->tv_nsec))
            return 0;
    }
}

// Forgets a descriptor; the last one of an open file releases it.
void dropFd(int fd) {
    std::shared_ptr<Handle> handle;
    {
        std::lock_guard<std::mutex> lock(g_fdMutex);
        auto it = fdTable().find(fd);
        if (it == fdTable().end()) return;
        handle = std::move(it->second);
        fdTable().erase(it);
        g_ours[fd] = false;
        for (auto& [other, h] : fdTable())
            if (h == handle) return;
    }
    handle->camera->release(*handle);
    forgetEpollOf(handle.get());
    real::close(handle->signalFd);
    real::close(handle->priorityFd);
    real::close(handle->bufferFd);
    real::close(handle->goneFd);
}

int setErrno(int error) {
    errno = error;
    return -1;
}

int openNode(const std::shared_ptr<EmulatedCamera>& camera, int flags) {
    if (flags & O_DIRECTORY) return setErrno(ENOTDIR);
    const int access = flags & O_ACCMODE;
    const int fd =
        eventfd(0, ((flags & O_NONBLOCK) ? EFD_NONBLOCK : 0) | ((flags & O_CLOEXEC) ? EFD_CLOEXEC : 0));
    if (fd < 0) return -1;
    auto handle = std::make_shared<Handle>();
    handle->camera = camera;
    handle->signalFd = real::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    handle->priorityFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    handle->bufferFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    handle->goneFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    auto closeAll = [&] {
        real::close(fd);
        for (int own : {handle->signalFd, handle->priorityFd, handle->bufferFd, handle->goneFd})
            if (own >= 0) real::close(own);
    };
    if (handle->signalFd < 0 || handle->priorityFd < 0 || handle->bufferFd < 0 || handle->goneFd < 0) {
        const int error = errno;
        closeAll();
        return setErrno(error);
    }
    if (const int error = camera->attach(handle, access != O_WRONLY, access != O_RDONLY)) {
        closeAll();
        return setErrno(error);
    }
    addFd(fd, handle);
    return fd;
}

// open() of a path: -2 when the path is not ours.
int openPath(const char* path, int flags) {
    Emulator* e = emulatorFor(path);
    if (!e) return -2;
    std::shared_ptr<EmulatedCamera> camera;
    switch (e->kind(path, &camera)) {
    case Emulator::Kind::Node:
    case Emulator::Kind::Link:
        if (flags & O_NOFOLLOW && e->kind(path) == Emulator::Kind::Link) return setErrno(ELOOP);
        return openNode(camera, flags);
    case Emulator::Kind::DevV4l:
    case Emulator::Kind::ByIdFolder: {
        REAL(open, OpenFn);
        return real_open(e->emptyFolder().c_str(), flags, 0);
    }
    case Emulator::Kind::None:
        return -2;
    }
    return -2;
}

// ---- stat ---------------------------------------------------------------------------------

struct FakeStat {
    mode_t mode;
    uid_t uid;
    gid_t gid;
    dev_t rdev;
    ino_t ino;
    off_t size;
};

// What stat() says of a path of ours; false when the path is not ours.
bool fakeStat(const char* path, bool follow, FakeStat& st) {
    Emulator* e = emulatorFor(path);
    if (!e) return false;
    std::shared_ptr<EmulatedCamera> camera;
    const Emulator::Kind kind = e->kind(path, &camera);
    switch (kind) {
    case Emulator::Kind::None:
        return false;
    case Emulator::Kind::DevV4l:
    case Emulator::Kind::ByIdFolder:
        st = {S_IFDIR | 0755, 0, 0, 0, ino_t(kind == Emulator::Kind::DevV4l ? 0x7e0001 : 0x7e0002), 60};
        return true;
    case Emulator::Kind::Link:
        if (!follow) {
            st = {S_IFLNK | 0777,
                  0,
                  0,
                  0,
                  ino_t(0x7e1000 + camera->minorNumber()),
                  off_t(Emulator::linkTarget(*camera).size())};
            return true;
        }
        [[fallthrough]];
    case Emulator::Kind::Node:
        st = {mode_t(S_IFCHR | camera->mode()),
              0,
              gid_t(camera->group()),
              makedev(81, camera->minorNumber()),
              ino_t(0x7e20000 + camera->serial()),
              0};
        return true;
    }
    return false;
}

template <typename Stat> void fillStat(const FakeStat& f, Stat* out) {
    std::memset(out, 0, sizeof *out);
    out->st_dev = makedev(0, 5);
    out->st_ino = f.ino;
    out->st_mode = f.mode;
    out->st_nlink = S_ISDIR(f.mode) ? 2 : 1;
    out->st_uid = f.uid;
    out->st_gid = f.gid;
    out->st_rdev = f.rdev;
    out->st_size = f.size;
    out->st_blksize = 4096;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    out->st_atim = out->st_mtim = out->st_ctim = now;
}

void fillStatx(const FakeStat& f, struct statx* out) {
    std::memset(out, 0, sizeof *out);
    out->stx_mask = STATX_BASIC_STATS;
    out->stx_blksize = 4096;
    out->stx_nlink = S_ISDIR(f.mode) ? 2 : 1;
    out->stx_uid = f.uid;
    out->stx_gid = f.gid;
    out->stx_mode = std::uint16_t(f.mode);
    out->stx_ino = f.ino;
    out->stx_size = std::uint64_t(f.size);
    out->stx_rdev_major = major(f.rdev);
    out->stx_rdev_minor = minor(f.rdev);
    out->stx_dev_major = 0;
    out->stx_dev_minor = 5;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    out->stx_atime = out->stx_mtime = out->stx_ctime = {now.tv_sec, std::uint32_t(now.tv_nsec), 0};
}

// A descriptor of ours as fstat sees it: the node it was opened from.
bool fakeFstat(int fd, FakeStat& st) {
    auto handle = handleOf(fd);
    if (!handle) return false;
    const auto& camera = handle->camera;
    st = {mode_t(S_IFCHR | camera->mode()),    0, gid_t(camera->group()), makedev(81, camera->minorNumber()),
          ino_t(0x7e20000 + camera->serial()), 0};
    return true;
}

// ---- directories ----------------------------------------------------------------------------

struct Listing {
    std::vector<std::pair<std::string, unsigned char>> extra;
    std::size_t next = 0;
    dirent64 entry{};
};
std::mutex g_dirMutex;
std::map<DIR*, Listing>& listings() {
    static auto* map = new std::map<DIR*, Listing>;
    return *map;
}

dirent64* extraEntry(DIR* dir) {
    std::lock_guard<std::mutex> lock(g_dirMutex);
    auto it = listings().find(dir);
    if (it == listings().end() || it->second.next >= it->second.extra.size()) return nullptr;
    Listing& l = it->second;
    const auto& [name, type] = l.extra[l.next++];
    std::memset(&l.entry, 0, sizeof l.entry);
    l.entry.d_ino = 0x7e3000 + l.next;
    l.entry.d_off = long(l.next);
    l.entry.d_reclen = sizeof l.entry;
    l.entry.d_type = type;
    std::strncpy(l.entry.d_name, name.c_str(), sizeof l.entry.d_name - 1);
    return &l.entry;
}

// ---- poll -------------------------------------------------------------------------------------

// poll() over descriptors some of which are ours: ours are waited for through their
// eventfds and answered by their camera.
int pollSome(pollfd* fds, nfds_t count, int timeoutMs, const sigset_t* mask) {
    REAL(ppoll, int (*)(pollfd*, nfds_t, const timespec*, const sigset_t*));
    std::vector<std::shared_ptr<Handle>> handles(count);
    bool any = false;
    for (nfds_t i = 0; i < count; ++i) {
        handles[i] = handleOf(fds[i].fd);
        any |= handles[i] != nullptr;
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        std::vector<pollfd> real;
        std::vector<int> origin; // index into fds, or -1 - index for a priority eventfd
        for (nfds_t i = 0; i < count; ++i) {
            if (!handles[i]) {
                real.push_back(fds[i]);
                origin.push_back(int(i));
                continue;
            }
            // Woken by what was asked for only; the end of the device sets both.
            if (fds[i].events & (POLLIN | POLLRDNORM)) {
                real.push_back({handles[i]->bufferFd, POLLIN, 0});
                origin.push_back(int(i));
            }
            if ((fds[i].events & POLLPRI) || !(fds[i].events & (POLLIN | POLLRDNORM))) {
                real.push_back({handles[i]->priorityFd, POLLIN, 0});
                origin.push_back(-1 - int(i));
            }
        }
        int waitMs = timeoutMs;
        if (timeoutMs > 0)
            waitMs = int(std::max<std::int64_t>(0, std::chrono::duration_cast<std::chrono::milliseconds>(
                                                       deadline - std::chrono::steady_clock::now())
                                                       .count()));
        timespec ts{waitMs / 1000, (waitMs % 1000) * 1000000L};
        const int result = real_ppoll(real.data(), real.size(), waitMs < 0 ? nullptr : &ts, mask);
        if (result < 0) return result;
        int ready = 0;
        for (nfds_t i = 0; i < count; ++i)
            fds[i].revents = 0;
        for (std::size_t k = 0; k < real.size(); ++k)
            if (origin[k] >= 0 && !handles[std::size_t(origin[k])]) fds[origin[k]].revents = real[k].revents;
        for (nfds_t i = 0; i < count; ++i)
            if (handles[i])
                fds[i].revents = short(handles[i]->camera->poll(*handles[i], fds[i].events) &
                                       (fds[i].events | POLLERR | POLLHUP | POLLNVAL));
        for (nfds_t i = 0; i < count; ++i)
            ready += fds[i].revents != 0;
        if (ready || timeoutMs == 0 || !any) return ready;
        if (timeoutMs > 0 && std::chrono::steady_clock::now() >= deadline) return 0;
    }
}

bool anyOurs(const pollfd* fds, nfds_t count) {
    for (nfds_t i = 0; i < count; ++i)
        if (fds[i].fd >= 0 && fds[i].fd < kMaxFds && g_ours[fds[i].fd]) return true;
    return false;
}

int selectSome(int nfds, fd_set* readfds, fd_set* writefds, fd_set* exceptfds, int timeoutMs,
               const sigset_t* mask) {
    std::vector<pollfd> fds;
    for (int fd = 0; fd < nfds; ++fd) {
        short events = 0;
        if (readfds && FD_ISSET(fd, readfds)) events |= POLLIN;
        if (writefds && FD_ISSET(fd, writefds)) events |= POLLOUT;
        if (exceptfds && FD_ISSET(fd, exceptfds)) events |= POLLPRI;
        if (events) fds.push_back({fd, events, 0});
    }
    const int result = pollSome(fds.data(), fds.size(), timeoutMs, mask);
    if (result < 0) return result;
    if (readfds) FD_ZERO(readfds);
    if (writefds) FD_ZERO(writefds);
    if (exceptfds) FD_ZERO(exceptfds);
    int count = 0;
    for (const pollfd& p : fds) {
        if (p.revents & POLLNVAL) return setErrno(EBADF);
        if (readfds && (p.events & POLLIN) && (p.revents & (POLLIN | POLLHUP | POLLERR))) {
            FD_SET(p.fd, readfds);
            ++count;
        }
        if (writefds && (p.events & POLLOUT) && (p.revents & (POLLOUT | POLLERR))) {
            FD_SET(p.fd, writefds);
            ++count;
        }
        if (exceptfds && (p.events & POLLPRI) && (p.revents & POLLPRI)) {
            FD_SET(p.fd, exceptfds);
            ++count;
        }
    }
    return count;
}

bool selectHasOurs(int nfds, fd_set* a, fd_set* b, fd_set* c) {
    for (int fd = 0; fd < std::min(nfds, kMaxFds); ++fd)
        if (g_ours[fd] && ((a && FD_ISSET(fd, a)) || (b && FD_ISSET(fd, b)) || (c && FD_ISSET(fd, c))))
            return true;
    return false;
}

// ---- mappings ------------------------------------------------------------------------------

struct Mapping {
    std::weak_ptr<EmulatedCamera> camera;
    std::uint32_t generation, index;
    std::size_t length;
};
std::mutex g_mapMutex;
std::map<void*, Mapping>& mappings() {
    static auto* map = new std::map<void*, Mapping>;
    return *map;
}

void* mapOurs(const std::shared_ptr<Handle>& handle, void* address, std::size_t length, int protection,
              int flags, off_t offset) {
    int error = 0;
    std::uint32_t generation = 0, index = 0;
    void* mapped =
        handle->camera->mmap(*handle, address, length, protection, flags, offset, error, generation, index);
    if (mapped == MAP_FAILED) {
        errno = error;
        return MAP_FAILED;
    }
    std::lock_guard<std::mutex> lock(g_mapMutex);
    mappings()[mapped] = {handle->camera, generation, index, length};
    return mapped;
}

// ---- ioctl and read ---------------------------------------------------------------------

bool nonBlocking(int fd) {
    return real::fcntl(fd, F_GETFL, 0) & O_NONBLOCK;
}

int ioctlOurs(int fd, const std::shared_ptr<Handle>& handle, unsigned long request, void* arg) {
    const int error = handle->camera->ioctl(*handle, request, arg, nonBlocking(fd));
    return error ? setErrno(error) : 0;
}

ssize_t readOurs(int fd, const std::shared_ptr<Handle>& handle, void* data, std::size_t size) {
    int error = 0;
    const long n = handle->camera->read(*handle, data, size, nonBlocking(fd), error);
    return n < 0 ? setErrno(error) : n;
}

// Watches of the inotify descriptors that watch /dev (or its by-id folder), by the
// watch descriptor of their shadow folder.
std::mutex g_watchMutex;
std::map<std::pair<int, int>, int>& shadowWatches() {
    static auto* map = new std::map<std::pair<int, int>, int>;
    return *map;
}

void rewriteInotify(int fd, char* buffer, ssize_t length) {
    std::lock_guard<std::mutex> lock(g_watchMutex);
    for (ssize_t offset = 0; offset + ssize_t(sizeof(inotify_event)) <= length;) {
        auto* event = reinterpret_cast<inotify_event*>(buffer + offset);
        auto it = shadowWatches().find({fd, event->wd});
        if (it != shadowWatches().end()) event->wd = it->second;
        offset += ssize_t(sizeof(inotify_event) + event->len);
    }
}

} // namespace

// ---- RealCalls ----------------------------------------------------------------------------

namespace real {
int open(const char* path, int flags, mode_t mode) {
    REAL(open, OpenFn);
    return real_open(path, flags, mode);
}
int close(int fd) {
    REAL(close, int (*)(int));
    return real_close(fd);
}
ssize_t read(int fd, void* data, std::size_t size) {
    REAL(read, ssize_t(*)(int, void*, std::size_t));
    return real_read(fd, data, size);
}
ssize_t write(int fd, const void* data, std::size_t size) {
    REAL(write, ssize_t(*)(int, const void*, std::size_t));
    return real_write(fd, data, size);
}
void* mmap(void* address, std::size_t length, int protection, int flags, int fd, off_t offset) {
    REAL(mmap, void* (*)(void*, std::size_t, int, int, int, off_t));
    return real_mmap(address, length, protection, flags, fd, offset);
}
int munmap(void* address, std::size_t length) {
    REAL(munmap, int (*)(void*, std::size_t));
    return real_munmap(address, length);
}
int dup(int fd) {
    REAL(dup, int (*)(int));
    return real_dup(fd);
}
int fcntl(int fd, int command, long argument) {
    REAL(fcntl, int (*)(int, int, ...));
    return real_fcntl(fd, command, argument);
}
} // namespace real
} // namespace camemu

using namespace camemu;

namespace {

int openWith(OpenFn realOpen, const char* path, int flags, mode_t mode) {
    const int ours = openPath(path, flags);
    if (ours != -2) return ours;
    return realOpen(path, flags, mode);
}

int openatWith(OpenatFn realOpenat, int dirfd, const char* path, int flags, mode_t mode) {
    if (path && path[0] == '/') {
        const int ours = openPath(path, flags);
        if (ours != -2) return ours;
    }
    return realOpenat(dirfd, path, flags, mode);
}

mode_t modeArg(int flags, va_list args) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? mode_t(va_arg(args, int)) : 0;
}

void* mmapWith(void* address, std::size_t length, int protection, int flags, int fd, off_t offset) {
    if (auto handle = handleOf(fd)) return mapOurs(handle, address, length, protection, flags, offset);
    return real::mmap(address, length, protection, flags, fd, offset);
}

} // namespace

// ---- the interposed functions -----------------------------------------------------------------

EXPORT int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeArg(flags, args);
    va_end(args);
    REAL(open, OpenFn);
    return openWith(real_open, path, flags, mode);
}
EXPORT int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeArg(flags, args);
    va_end(args);
    REAL(open64, OpenFn);
    return openWith(real_open64, path, flags, mode);
}
EXPORT int __open_2(const char* path, int flags) {
    REAL(__open_2, int (*)(const char*, int));
    const int ours = openPath(path, flags);
    return ours != -2 ? ours : real___open_2(path, flags);
}
EXPORT int __open64_2(const char* path, int flags) {
    REAL(__open64_2, int (*)(const char*, int));
    const int ours = openPath(path, flags);
    return ours != -2 ? ours : real___open64_2(path, flags);
}
EXPORT int openat(int dirfd, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeArg(flags, args);
    va_end(args);
    REAL(openat, OpenatFn);
    return openatWith(real_openat, dirfd, path, flags, mode);
}
EXPORT int openat64(int dirfd, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeArg(flags, args);
    va_end(args);
    REAL(openat64, OpenatFn);
    return openatWith(real_openat64, dirfd, path, flags, mode);
}
EXPORT int __openat_2(int dirfd, const char* path, int flags) {
    REAL(__openat_2, int (*)(int, const char*, int));
    if (path && path[0] == '/') {
        const int ours = openPath(path, flags);
        if (ours != -2) return ours;
    }
    return real___openat_2(dirfd, path, flags);
}
EXPORT int __openat64_2(int dirfd, const char* path, int flags) {
    REAL(__openat64_2, int (*)(int, const char*, int));
    if (path && path[0] == '/') {
        const int ours = openPath(path, flags);
        if (ours != -2) return ours;
    }
    return real___openat64_2(dirfd, path, flags);
}

EXPORT int close(int fd) {
    if (handleOf(fd)) dropFd(fd);
    forgetEpollInstance(fd);
    return real::close(fd);
}

EXPORT int epoll_ctl(int epfd, int op, int fd, epoll_event* event) {
    if (auto handle = handleOf(fd)) return epollCtlNode(epfd, op, fd, handle, event);
    return realEpollCtl(epfd, op, fd, event);
}
EXPORT int epoll_wait(int epfd, epoll_event* events, int maxEvents, int timeoutMs) {
    return epoll_pwait(epfd, events, maxEvents, timeoutMs, nullptr);
}
EXPORT int epoll_pwait(int epfd, epoll_event* events, int maxEvents, int timeoutMs, const sigset_t* mask) {
    if (epfd >= 0 && epfd < kMaxFds && g_epollUsed[epfd]) {
        const timespec timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000000L};
        return epollWaitSome(epfd, events, maxEvents, timeoutMs < 0 ? nullptr : &timeout, mask);
    }
    REAL(epoll_pwait, int (*)(int, epoll_event*, int, int, const sigset_t*));
    return real_epoll_pwait(epfd, events, maxEvents, timeoutMs, mask);
}
EXPORT int epoll_pwait2(int epfd, epoll_event* events, int maxEvents, const timespec* timeout,
                        const sigset_t* mask) {
    if (epfd >= 0 && epfd < kMaxFds && g_epollUsed[epfd])
        return epollWaitSome(epfd, events, maxEvents, timeout, mask);
    REAL(epoll_pwait2, int (*)(int, epoll_event*, int, const timespec*, const sigset_t*));
    if (!real_epoll_pwait2) return setErrno(ENOSYS);
    return real_epoll_pwait2(epfd, events, maxEvents, timeout, mask);
}

EXPORT int dup(int fd) {
    const int copy = real::dup(fd);
    if (copy >= 0)
        if (auto handle = handleOf(fd)) addFd(copy, handle);
    return copy;
}
EXPORT int dup2(int fd, int target) {
    REAL(dup2, int (*)(int, int));
    if (fd != target && handleOf(target)) dropFd(target);
    const int copy = real_dup2(fd, target);
    if (copy >= 0 && fd != target)
        if (auto handle = handleOf(fd)) addFd(copy, handle);
    return copy;
}
EXPORT int dup3(int fd, int target, int flags) {
    REAL(dup3, int (*)(int, int, int));
    if (fd != target && handleOf(target)) dropFd(target);
    const int copy = real_dup3(fd, target, flags);
    if (copy >= 0)
        if (auto handle = handleOf(fd)) addFd(copy, handle);
    return copy;
}

namespace {
int fcntlWith(int fd, int command, va_list args) {
    const long argument = va_arg(args, long);
    const int result = real::fcntl(fd, command, argument);
    if (result >= 0 && (command == F_DUPFD || command == F_DUPFD_CLOEXEC))
        if (auto handle = handleOf(fd)) addFd(result, handle);
    return result;
}
} // namespace
EXPORT int fcntl(int fd, int command, ...) {
    va_list args;
    va_start(args, command);
    const int result = fcntlWith(fd, command, args);
    va_end(args);
    return result;
}
EXPORT int fcntl64(int fd, int command, ...) {
    va_list args;
    va_start(args, command);
    const int result = fcntlWith(fd, command, args);
    va_end(args);
    return result;
}

EXPORT int ioctl(int fd, unsigned long request, ...) {
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    if (auto handle = handleOf(fd)) return ioctlOurs(fd, handle, request, arg);
    REAL(ioctl, int (*)(int, unsigned long, ...));
    return real_ioctl(fd, request, arg);
}

EXPORT ssize_t read(int fd, void* data, size_t size) {
    if (auto handle = handleOf(fd)) return readOurs(fd, handle, data, size);
    const ssize_t n = real::read(fd, data, size);
    if (n > 0 && fd >= 0 && fd < kMaxFds && g_inotify[fd]) rewriteInotify(fd, static_cast<char*>(data), n);
    return n;
}
EXPORT ssize_t __read_chk(int fd, void* data, size_t size, size_t) {
    return read(fd, data, size);
}
EXPORT ssize_t write(int fd, const void* data, size_t size) {
    if (auto handle = handleOf(fd)) return handle->camera->registered() ? setErrno(EINVAL) : setErrno(ENODEV);
    return real::write(fd, data, size);
}

EXPORT void* mmap(void* address, size_t length, int protection, int flags, int fd, off_t offset) {
    return mmapWith(address, length, protection, flags, fd, offset);
}
EXPORT void* mmap64(void* address, size_t length, int protection, int flags, int fd, off64_t offset) {
    return mmapWith(address, length, protection, flags, fd, offset);
}
EXPORT int munmap(void* address, size_t length) {
    {
        std::lock_guard<std::mutex> lock(g_mapMutex);
        auto it = mappings().find(address);
        if (it != mappings().end()) {
            if (auto camera = it->second.camera.lock())
                camera->unmapped(it->second.generation, it->second.index);
            mappings().erase(it);
        }
    }
    return real::munmap(address, length);
}

EXPORT int poll(pollfd* fds, nfds_t count, int timeoutMs) {
    if (anyOurs(fds, count)) return pollSome(fds, count, timeoutMs, nullptr);
    REAL(poll, int (*)(pollfd*, nfds_t, int));
    return real_poll(fds, count, timeoutMs);
}
EXPORT int __poll_chk(pollfd* fds, nfds_t count, int timeoutMs, size_t) {
    return poll(fds, count, timeoutMs);
}
EXPORT int ppoll(pollfd* fds, nfds_t count, const timespec* timeout, const sigset_t* mask) {
    if (anyOurs(fds, count))
        return pollSome(fds, count, timeout ? int(timeout->tv_sec * 1000 + timeout->tv_nsec / 1000000) : -1,
                        mask);
    REAL(ppoll, int (*)(pollfd*, nfds_t, const timespec*, const sigset_t*));
    return real_ppoll(fds, count, timeout, mask);
}
EXPORT int __ppoll_chk(pollfd* fds, nfds_t count, const timespec* timeout, const sigset_t* mask, size_t) {
    return ppoll(fds, count, timeout, mask);
}
EXPORT int select(int nfds, fd_set* readfds, fd_set* writefds, fd_set* exceptfds, timeval* timeout) {
    if (selectHasOurs(nfds, readfds, writefds, exceptfds)) {
        const int ms = timeout ? int(timeout->tv_sec * 1000 + timeout->tv_usec / 1000) : -1;
        const auto start = std::chrono::steady_clock::now();
        const int result = selectSome(nfds, readfds, writefds, exceptfds, ms, nullptr);
        if (timeout) {
            // Linux's select leaves the time not slept.
            const auto spent = std::chrono::duration_cast<std::chrono::microseconds>(
                                   std::chrono::steady_clock::now() - start)
                                   .count();
            const long left = std::max<long>(0, long(timeout->tv_sec) * 1000000 + timeout->tv_usec - spent);
            timeout->tv_sec = left / 1000000;
            timeout->tv_usec = left % 1000000;
        }
        return result;
    }
    REAL(select, int (*)(int, fd_set*, fd_set*, fd_set*, timeval*));
    return real_select(nfds, readfds, writefds, exceptfds, timeout);
}
EXPORT int pselect(int nfds, fd_set* readfds, fd_set* writefds, fd_set* exceptfds, const timespec* timeout,
                   const sigset_t* mask) {
    if (selectHasOurs(nfds, readfds, writefds, exceptfds))
        return selectSome(nfds, readfds, writefds, exceptfds,
                          timeout ? int(timeout->tv_sec * 1000 + timeout->tv_nsec / 1000000) : -1, mask);
    REAL(pselect, int (*)(int, fd_set*, fd_set*, fd_set*, const timespec*, const sigset_t*));
    return real_pselect(nfds, readfds, writefds, exceptfds, timeout, mask);
}

// stat and its relatives.
EXPORT int stat(const char* path, struct stat* out) {
    FakeStat f;
    if (fakeStat(path, true, f)) return fillStat(f, out), 0;
    REAL(stat, int (*)(const char*, struct stat*));
    return real_stat(path, out);
}
EXPORT int stat64(const char* path, struct stat64* out) {
    FakeStat f;
    if (fakeStat(path, true, f)) return fillStat(f, out), 0;
    REAL(stat64, int (*)(const char*, struct stat64*));
    return real_stat64(path, out);
}
EXPORT int lstat(const char* path, struct stat* out) {
    FakeStat f;
    if (fakeStat(path, false, f)) return fillStat(f, out), 0;
    REAL(lstat, int (*)(const char*, struct stat*));
    return real_lstat(path, out);
}
EXPORT int lstat64(const char* path, struct stat64* out) {
    FakeStat f;
    if (fakeStat(path, false, f)) return fillStat(f, out), 0;
    REAL(lstat64, int (*)(const char*, struct stat64*));
    return real_lstat64(path, out);
}
EXPORT int fstat(int fd, struct stat* out) {
    FakeStat f;
    if (fakeFstat(fd, f)) return fillStat(f, out), 0;
    REAL(fstat, int (*)(int, struct stat*));
    return real_fstat(fd, out);
}
EXPORT int fstat64(int fd, struct stat64* out) {
    FakeStat f;
    if (fakeFstat(fd, f)) return fillStat(f, out), 0;
    REAL(fstat64, int (*)(int, struct stat64*));
    return real_fstat64(fd, out);
}
EXPORT int fstatat(int dirfd, const char* path, struct stat* out, int flags) {
    FakeStat f;
    if ((flags & AT_EMPTY_PATH) && path && !*path && fakeFstat(dirfd, f)) return fillStat(f, out), 0;
    if (path && path[0] == '/' && fakeStat(path, !(flags & AT_SYMLINK_NOFOLLOW), f))
        return fillStat(f, out), 0;
    REAL(fstatat, int (*)(int, const char*, struct stat*, int));
    return real_fstatat(dirfd, path, out, flags);
}
EXPORT int fstatat64(int dirfd, const char* path, struct stat64* out, int flags) {
    FakeStat f;
    if ((flags & AT_EMPTY_PATH) && path && !*path && fakeFstat(dirfd, f)) return fillStat(f, out), 0;
    if (path && path[0] == '/' && fakeStat(path, !(flags & AT_SYMLINK_NOFOLLOW), f))
        return fillStat(f, out), 0;
    REAL(fstatat64, int (*)(int, const char*, struct stat64*, int));
    return real_fstatat64(dirfd, path, out, flags);
}
EXPORT int statx(int dirfd, const char* path, int flags, unsigned mask, struct statx* out) {
    FakeStat f;
    if ((flags & AT_EMPTY_PATH) && path && !*path && fakeFstat(dirfd, f)) return fillStatx(f, out), 0;
    if (path && path[0] == '/' && fakeStat(path, !(flags & AT_SYMLINK_NOFOLLOW), f))
        return fillStatx(f, out), 0;
    REAL(statx, int (*)(int, const char*, int, unsigned, struct statx*));
    return real_statx(dirfd, path, flags, mask, out);
}
// The old stat entry points that programs built against glibc before 2.33 call.
EXPORT int __xstat(int version, const char* path, struct stat* out) {
    FakeStat f;
    if (fakeStat(path, true, f)) return fillStat(f, out), 0;
    static const auto real = nextVersion<int (*)(int, const char*, struct stat*)>("__xstat", "GLIBC_2.2.5");
    return real(version, path, out);
}
EXPORT int __xstat64(int version, const char* path, struct stat64* out) {
    FakeStat f;
    if (fakeStat(path, true, f)) return fillStat(f, out), 0;
    static const auto real =
        nextVersion<int (*)(int, const char*, struct stat64*)>("__xstat64", "GLIBC_2.2.5");
    return real(version, path, out);
}
EXPORT int __lxstat(int version, const char* path, struct stat* out) {
    FakeStat f;
    if (fakeStat(path, false, f)) return fillStat(f, out), 0;
    static const auto real = nextVersion<int (*)(int, const char*, struct stat*)>("__lxstat", "GLIBC_2.2.5");
    return real(version, path, out);
}
EXPORT int __lxstat64(int version, const char* path, struct stat64* out) {
    FakeStat f;
    if (fakeStat(path, false, f)) return fillStat(f, out), 0;
    static const auto real =
        nextVersion<int (*)(int, const char*, struct stat64*)>("__lxstat64", "GLIBC_2.2.5");
    return real(version, path, out);
}
EXPORT int __fxstat(int version, int fd, struct stat* out) {
    FakeStat f;
    if (fakeFstat(fd, f)) return fillStat(f, out), 0;
    static const auto real = nextVersion<int (*)(int, int, struct stat*)>("__fxstat", "GLIBC_2.2.5");
    return real(version, fd, out);
}
EXPORT int __fxstat64(int version, int fd, struct stat64* out) {
    FakeStat f;
    if (fakeFstat(fd, f)) return fillStat(f, out), 0;
    static const auto real = nextVersion<int (*)(int, int, struct stat64*)>("__fxstat64", "GLIBC_2.2.5");
    return real(version, fd, out);
}

EXPORT int access(const char* path, int mode) {
    FakeStat f;
    if (fakeStat(path, true, f)) {
        if (geteuid() == 0 || mode == F_OK) return 0;
        const unsigned bits = (f.mode >> 3) & 7; // the group's: a user of the camera is in it
        if (((mode & R_OK) && !(bits & 4)) || ((mode & W_OK) && !(bits & 2)) || (mode & X_OK))
            return setErrno(EACCES);
        return 0;
    }
    REAL(access, int (*)(const char*, int));
    return real_access(path, mode);
}

EXPORT ssize_t readlink(const char* path, char* buffer, size_t size) {
    if (Emulator* e = emulatorFor(path)) {
        std::shared_ptr<EmulatedCamera> camera;
        const Emulator::Kind kind = e->kind(path, &camera);
        if (kind == Emulator::Kind::Link) {
            const std::string target = Emulator::linkTarget(*camera);
            const size_t n = std::min(size, target.size());
            std::memcpy(buffer, target.data(), n);
            return ssize_t(n);
        }
        if (kind != Emulator::Kind::None) return setErrno(EINVAL);
    }
    REAL(readlink, ssize_t(*)(const char*, char*, size_t));
    return real_readlink(path, buffer, size);
}
EXPORT ssize_t readlinkat(int dirfd, const char* path, char* buffer, size_t size) {
    if (path && path[0] == '/' && emulatorFor(path)) return readlink(path, buffer, size);
    REAL(readlinkat, ssize_t(*)(int, const char*, char*, size_t));
    return real_readlinkat(dirfd, path, buffer, size);
}
EXPORT char* realpath(const char* path, char* resolved) {
    if (Emulator* e = emulatorFor(path)) {
        std::shared_ptr<EmulatedCamera> camera;
        const Emulator::Kind kind = e->kind(path, &camera);
        if (kind != Emulator::Kind::None) {
            std::string out = path;
            if (kind == Emulator::Kind::Node || kind == Emulator::Kind::Link) out = camera->config().node;
            while (out.size() > 1 && out.back() == '/')
                out.pop_back();
            char* target = resolved ? resolved : static_cast<char*>(std::malloc(PATH_MAX));
            if (!target) return nullptr;
            std::strncpy(target, out.c_str(), PATH_MAX - 1);
            target[PATH_MAX - 1] = 0;
            return target;
        }
    }
    REAL(realpath, char* (*)(const char*, char*));
    return real_realpath(path, resolved);
}

EXPORT DIR* opendir(const char* path) {
    REAL(opendir, DIR * (*)(const char*));
    Emulator* e = emulatorFor(path);
    if (!e && !(path && std::strcmp(path, "/dev") == 0 && std::getenv("KV_CAMERA_EMULATOR_CONFIG")))
        return real_opendir(path);
    if (!e) e = &Emulator::instance();
    const Emulator::Kind kind = e->kind(path);
    if (kind == Emulator::Kind::Node || kind == Emulator::Kind::Link) return errno = ENOTDIR, nullptr;
    const bool fake = kind == Emulator::Kind::DevV4l || kind == Emulator::Kind::ByIdFolder;
    DIR* dir = real_opendir(fake ? e->emptyFolder().c_str() : path);
    if (!dir) return dir;
    auto extra = e->extraEntries(path);
    if (!extra.empty()) {
        std::lock_guard<std::mutex> lock(g_dirMutex);
        listings()[dir].extra = std::move(extra);
    }
    return dir;
}
EXPORT dirent* readdir(DIR* dir) {
    REAL(readdir, dirent * (*)(DIR*));
    if (dirent* entry = real_readdir(dir)) return entry;
    static_assert(sizeof(dirent) == sizeof(dirent64));
    return reinterpret_cast<dirent*>(extraEntry(dir));
}
EXPORT dirent64* readdir64(DIR* dir) {
    REAL(readdir64, dirent64 * (*)(DIR*));
    if (dirent64* entry = real_readdir64(dir)) return entry;
    return extraEntry(dir);
}
EXPORT int closedir(DIR* dir) {
    {
        std::lock_guard<std::mutex> lock(g_dirMutex);
        listings().erase(dir);
    }
    REAL(closedir, int (*)(DIR*));
    return real_closedir(dir);
}

EXPORT int inotify_add_watch(int fd, const char* path, uint32_t mask) {
    REAL(inotify_add_watch, int (*)(int, const char*, uint32_t));
    Emulator* e = emulatorFor(path);
    if (!e && path && std::strcmp(path, "/dev") == 0 && std::getenv("KV_CAMERA_EMULATOR_CONFIG"))
        e = &Emulator::instance();
    if (!e || !e->active()) return real_inotify_add_watch(fd, path, mask);
    const std::string shadow = e->shadowFor(path);
    const bool fakeFolder = e->kind(path) == Emulator::Kind::ByIdFolder;
    const int wd = fakeFolder ? -1 : real_inotify_add_watch(fd, path, mask);
    if (shadow.empty() || (!fakeFolder && wd < 0)) return wd;
    const int shadowWd = real_inotify_add_watch(fd, shadow.c_str(), mask);
    if (shadowWd < 0) return fakeFolder ? shadowWd : wd;
    if (fakeFolder) return shadowWd; // its own watch stands for the folder
    std::lock_guard<std::mutex> lock(g_watchMutex);
    shadowWatches()[{fd, shadowWd}] = wd;
    if (fd >= 0 && fd < kMaxFds) g_inotify[fd] = true;
    return wd;
}

// sysfs: the node's uevent, by which v4l-utils (mi_media_detect_type) tells what kind
// of node a path is. Only this file of the node's sysfs folder is there.
namespace {
FILE* ueventFile(const char* path) {
    const char prefix[] = "/sys/dev/char/81:";
    if (!path || std::strncmp(path, prefix, sizeof prefix - 1) != 0 || !std::getenv(kConfigVariable))
        return nullptr;
    char* end = nullptr;
    const unsigned long minorNumber = std::strtoul(path + sizeof prefix - 1, &end, 10);
    if (!end || std::strcmp(end, "/uevent") != 0) return nullptr;
    const std::string node = Emulator::instance().nodeByMinor(std::uint32_t(minorNumber));
    if (node.empty()) return nullptr;
    const std::string text =
        "MAJOR=81\nMINOR=" + std::to_string(minorNumber) + "\nDEVNAME=" + node.substr(5) + "\n";
    const int fd = int(memfd_create("uevent", MFD_CLOEXEC));
    if (fd < 0) return nullptr;
    if (real::write(fd, text.data(), text.size()) != ssize_t(text.size()) || lseek(fd, 0, SEEK_SET) != 0) {
        real::close(fd);
        return nullptr;
    }
    FILE* file = fdopen(fd, "r");
    if (!file) real::close(fd);
    return file;
}
} // namespace

EXPORT FILE* fopen(const char* path, const char* mode) {
    if (FILE* file = ueventFile(path)) return file;
    REAL(fopen, FILE * (*)(const char*, const char*));
    return real_fopen(path, mode);
}
EXPORT FILE* fopen64(const char* path, const char* mode) {
    if (FILE* file = ueventFile(path)) return file;
    REAL(fopen64, FILE * (*)(const char*, const char*));
    return real_fopen64(path, mode);
}

// libv4l2 makes its calls on the node through syscall() (libv4lsyscall-priv.h).
EXPORT long syscall(long number, ...) {
    va_list args;
    va_start(args, number);
    long a[6];
    for (long& v : a)
        v = va_arg(args, long);
    va_end(args);
    REAL(syscall, long (*)(long, ...));
    switch (number) {
    case SYS_openat:
        if (reinterpret_cast<const char*>(a[1]) && reinterpret_cast<const char*>(a[1])[0] == '/') {
            const int ours = openPath(reinterpret_cast<const char*>(a[1]), int(a[2]));
            if (ours != -2) return ours;
        }
        break;
    case SYS_open: {
        const int ours = openPath(reinterpret_cast<const char*>(a[0]), int(a[1]));
        if (ours != -2) return ours;
        break;
    }
    case SYS_close:
        if (handleOf(int(a[0]))) return close(int(a[0]));
        break;
    case SYS_dup:
        if (handleOf(int(a[0]))) return dup(int(a[0]));
        break;
    case SYS_ioctl:
        if (auto handle = handleOf(int(a[0])))
            return ioctlOurs(int(a[0]), handle, static_cast<unsigned long>(a[1]),
                             reinterpret_cast<void*>(a[2]));
        break;
    case SYS_read:
        if (auto handle = handleOf(int(a[0])))
            return readOurs(int(a[0]), handle, reinterpret_cast<void*>(a[1]), std::size_t(a[2]));
        break;
    case SYS_write:
        if (handleOf(int(a[0])))
            return write(int(a[0]), reinterpret_cast<const void*>(a[1]), std::size_t(a[2]));
        break;
    case SYS_mmap:
        if (handleOf(int(a[4])))
            return reinterpret_cast<long>(mmapWith(reinterpret_cast<void*>(a[0]), std::size_t(a[1]),
                                                   int(a[2]), int(a[3]), int(a[4]), off_t(a[5])));
        break;
    case SYS_munmap:
        return munmap(reinterpret_cast<void*>(a[0]), std::size_t(a[1]));
    default:
        break;
    }
    return real_syscall(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}
