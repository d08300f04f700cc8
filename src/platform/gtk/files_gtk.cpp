// Files, icons, the environment, the data folder and processes on Linux.
#include "platform/gtk/platform_gtk.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib-unix.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <gtk/gtk.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gtk/text_gtk.h"

namespace vistrel {

using gtk::FileNameFromUtf16;
using gtk::Utf16FromFileName;
using gtk::Utf16FromUtf8;

namespace {

// ---- Small POSIX helpers ------------------------------------------------------

// A file descriptor that closes itself.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

// Exactly size bytes at offset; false when the file holds fewer.
bool ReadAt(int fd, off_t offset, void* buffer, size_t size) {
  auto* bytes = static_cast<char*>(buffer);
  while (size > 0) {
    const ssize_t got = pread(fd, bytes, size, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    bytes += got;
    size -= static_cast<size_t>(got);
    offset += got;
  }
  return true;
}

uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// ---- Icons ----------------------------------------------------------------------

constexpr size_t kIcoHeaderSize = 6;
constexpr size_t kIcoEntrySize = 16;
constexpr std::string_view kPngSignature = "\x89PNG\r\n\x1a\n";

// An image decoded from bytes in memory, whatever its format.
GdkPixbuf* PixbufFromBytes(const std::string& bytes) {
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  const gboolean written =
      gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(bytes.data()), bytes.size(), nullptr);
  // A loader is always closed, also after a failed write.
  const gboolean closed = gdk_pixbuf_loader_close(loader, nullptr);
  GdkPixbuf* pixbuf = written && closed ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
  if (pixbuf != nullptr) g_object_ref(pixbuf);
  g_object_unref(loader);
  return pixbuf;
}

// One image of an icon file, by its place in the directory. The ICO loader
// picks the image it likes best, so the chosen one is handed to it alone:
// an embedded PNG as it is, a bitmap in an icon file of one entry.
GdkPixbuf* IcoImage(int fd, off_t fileSize, uint16_t count, int32_t index) {
  if (index < 0 || index >= count) return nullptr;
  std::array<unsigned char, kIcoEntrySize> entry{};
  if (!ReadAt(fd, static_cast<off_t>(kIcoHeaderSize + kIcoEntrySize * static_cast<size_t>(index)), entry.data(),
              entry.size())) {
    return nullptr;
  }
  const uint32_t size = Le32(&entry[8]);
  const uint32_t offset = Le32(&entry[12]);
  if (size == 0 || static_cast<off_t>(offset) + static_cast<off_t>(size) > fileSize) return nullptr;
  std::string image(size, '\0');
  if (!ReadAt(fd, static_cast<off_t>(offset), image.data(), image.size())) return nullptr;
  if (image.starts_with(kPngSignature)) return PixbufFromBytes(image);

  std::string single(kIcoHeaderSize + kIcoEntrySize, '\0');
  single[2] = 1;  // type: icon
  single[4] = 1;  // one image
  std::copy(entry.begin(), entry.begin() + 12, single.begin() + kIcoHeaderSize);
  single[kIcoHeaderSize + 12] = static_cast<char>(kIcoHeaderSize + kIcoEntrySize);  // the image follows
  return PixbufFromBytes(single + image);
}

// ---- ANSI text ----------------------------------------------------------------------

// Bytes in a character set other than UTF-8, as UTF-8. A byte that does not
// belong to the character set becomes U+FFFD, as no text is dropped unseen.
std::string Utf8FromCharset(const std::string& bytes, const char* charset) {
  GIConv converter = g_iconv_open("UTF-8", charset);
  if (converter == reinterpret_cast<GIConv>(-1)) {
    g_autofree gchar* repaired = g_utf8_make_valid(bytes.data(), static_cast<gssize>(bytes.size()));
    return repaired;
  }
  constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
  std::string out;
  std::array<char, 4096> chunk{};
  gchar* in = const_cast<gchar*>(bytes.data());
  gsize inLeft = bytes.size();
  while (inLeft > 0) {
    gchar* outPos = chunk.data();
    gsize outLeft = chunk.size();
    const gsize result = g_iconv(converter, &in, &inLeft, &outPos, &outLeft);
    const int error = errno;
    out.append(chunk.data(), static_cast<size_t>(outPos - chunk.data()));
    if (result != static_cast<gsize>(-1) || error == E2BIG) continue;
    // EILSEQ: a byte that starts no character; EINVAL: a character cut off
    // at the end.
    out += kReplacement;
    ++in;
    --inLeft;
  }
  g_iconv_close(converter);
  return out;
}

// ---- The data folder --------------------------------------------------------------

// The executable's own file name, as Windows names the folder after the module.
std::string ProgramFileName() {
  g_autofree gchar* executable = g_file_read_link("/proc/self/exe", nullptr);
  if (executable != nullptr) {
    g_autofree gchar* name = g_path_get_basename(executable);
    return name;
  }
  const gchar* name = g_get_prgname();
  return name != nullptr ? name : "vistrel";
}

// Removes everything in the folder open at fd, never following a link: a
// link is an entry like a file. Entries that cannot go stay.
void EmptyFolder(int fd) {
  DIR* folder = fdopendir(fd);
  if (folder == nullptr) {
    close(fd);
    return;
  }
  // The names first: a folder is not changed while it is being listed.
  std::vector<std::string> names;
  while (const dirent* entry = readdir(folder)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  const int here = dirfd(folder);
  for (const std::string& name : names) {
    if (unlinkat(here, name.c_str(), 0) == 0 || errno != EISDIR) continue;
    const int child = openat(here, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (child >= 0) EmptyFolder(child);
    unlinkat(here, name.c_str(), AT_REMOVEDIR);
  }
  closedir(folder);
}

// Sources that end a wait for a process.
gboolean EndWait(gpointer over) {
  *static_cast<bool*>(over) = true;
  return G_SOURCE_REMOVE;
}
gboolean OnProcessEnded(gint, GIOCondition, gpointer over) { return EndWait(over); }

bool PathIsGone(const char* path) {
  struct stat info {};
  return lstat(path, &info) != 0 && errno == ENOENT;
}

// ---- Processes ------------------------------------------------------------------------

// Whether the process still runs; a zombie has ended, only its parent has
// not looked yet.
bool ProcessRuns(pid_t pid) {
  if (kill(pid, 0) != 0 && errno == ESRCH) return false;
  g_autofree gchar* statPath = g_strdup_printf("/proc/%d/stat", static_cast<int>(pid));
  g_autofree gchar* stat = nullptr;
  if (!g_file_get_contents(statPath, &stat, nullptr, nullptr)) return true;
  // The state follows the command name in parentheses, which may hold any text.
  const char* state = strrchr(stat, ')');
  return state == nullptr || state[1] == '\0' || state[2] != 'Z';
}

}  // namespace

// ---- Icons --------------------------------------------------------------------------------

std::optional<IconLocation> GtkPlatform::StartupShortcutIconLocation() {
  // Linux passes no start-up shortcut to a program.
  return std::nullopt;
}

std::optional<IconLocation> GtkPlatform::ProgramIconLocation() {
  // The icon the package installs into the icon theme, at the size of a
  // window's icon; a program run from its build folder has none.
  if (!hasDisplay_) return std::nullopt;
  GtkIconInfo* info = gtk_icon_theme_lookup_icon(gtk_icon_theme_get_default(), "vistrel", 48, GtkIconLookupFlags{});
  if (info == nullptr) return std::nullopt;
  const char* file = gtk_icon_info_get_filename(info);
  std::optional<IconLocation> location;
  if (file != nullptr) location = IconLocation{gtk::Utf16FromFileName(file), 0};
  g_object_unref(info);
  return location;
}

std::u16string GtkPlatform::ExpandEnvironmentVariables(const std::u16string& text) {
  // As ExpandEnvironmentStringsW: %NAME% becomes the variable's value; a
  // name that is not set stays as typed, both percent signs included, and
  // a lone percent sign stays. Names match exactly, as Linux variables do.
  std::u16string expanded;
  size_t at = 0;
  while (at < text.size()) {
    const size_t open = text.find(u'%', at);
    if (open == std::u16string::npos) {
      expanded.append(text, at);
      break;
    }
    expanded.append(text, at, open - at);
    const size_t close = text.find(u'%', open + 1);
    if (close == std::u16string::npos) {
      expanded.append(text, open);
      break;
    }
    const std::optional<std::string> name = gtk::Utf8FromUtf16(text.substr(open + 1, close - open - 1));
    const char* value = name && !name->empty() ? g_getenv(name->c_str()) : nullptr;
    if (value != nullptr) {
      expanded += Utf16FromUtf8(gtk::AsUtf8(value));
    } else {
      expanded.append(text, open, close - open + 1);
    }
    at = close + 1;
  }
  return expanded;
}

IconHandle GtkPlatform::ExtractIconFrom(const std::u16string& path, int32_t index) {
  const std::optional<std::string> name = FileNameFromUtf16(path);
  if (!name) return nullptr;
  // Non-blocking, so that a pipe named as the icon file cannot hang the start.
  Descriptor file(open(name->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!file.valid()) return nullptr;
  struct stat info {};
  if (fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;

  // An icon file is known by its header, whatever its name.
  std::array<unsigned char, kIcoHeaderSize> header{};
  if (ReadAt(file.get(), 0, header.data(), header.size()) && Le16(&header[0]) == 0 && Le16(&header[2]) == 1 &&
      Le16(&header[4]) > 0) {
    return IcoImage(file.get(), info.st_size, Le16(&header[4]), index);
  }
  // Any other picture is one icon.
  if (index != 0) return nullptr;
  return gdk_pixbuf_new_from_file(name->c_str(), nullptr);
}

void GtkPlatform::FreeIcon(IconHandle icon) {
  if (icon != nullptr) g_object_unref(icon);
}

// ---- Files --------------------------------------------------------------------------------

FileContents GtkPlatform::ReadWholeFile(const std::u16string& path, bool /*shareWithWriters*/) {
  // Reading never keeps others from writing on Linux: nothing to ask for.
  FileContents contents;
  const std::optional<std::string> name = FileNameFromUtf16(path);
  if (!name) return contents;
  Descriptor file(open(name->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!file.valid()) return contents;
  std::array<char, 65536> buffer{};
  for (;;) {
    const ssize_t got = read(file.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      contents.status = FileContents::Status::ReadFailed;
      contents.bytes.clear();
      return contents;
    }
    if (got == 0) break;
    contents.bytes.append(buffer.data(), static_cast<size_t>(got));
  }
  contents.status = FileContents::Status::Read;
  return contents;
}

std::optional<uint64_t> GtkPlatform::FileWriteTime(const std::u16string& path) {
  const std::optional<std::string> name = FileNameFromUtf16(path);
  if (!name) return std::nullopt;
  struct stat info {};
  if (stat(name->c_str(), &info) != 0) return std::nullopt;
  // A FILETIME: 100 ns units since 1601, so that no file's time is 0.
  constexpr int64_t kUnixEpochAsFileTime = 116444736000000000;
  return static_cast<uint64_t>(kUnixEpochAsFileTime + static_cast<int64_t>(info.st_mtim.tv_sec) * 10000000 +
                               info.st_mtim.tv_nsec / 100);
}

void GtkPlatform::DeleteFileAt(const std::u16string& path) {
  if (const std::optional<std::string> name = FileNameFromUtf16(path)) unlink(name->c_str());
}

std::u16string GtkPlatform::ConvertAnsiText(const std::string& bytes) {
  const char* charset = nullptr;
  if (g_get_charset(&charset)) {
    g_autofree gchar* repaired = g_utf8_make_valid(bytes.data(), static_cast<gssize>(bytes.size()));
    return Utf16FromUtf8(repaired);
  }
  return Utf16FromUtf8(Utf8FromCharset(bytes, charset));
}

// ---- Browsing data and processes -------------------------------------------------

std::u16string GtkPlatform::UserDataFolderPath(KnownFolder where) {
  // $XDG_DATA_HOME (else ~/.local/share) and $TMPDIR (else /tmp).
  const gchar* base = where == KnownFolder::LocalAppData ? g_get_user_data_dir() : g_get_tmp_dir();
  return Utf16FromFileName(std::string(base) + "/" + ProgramFileName() + ".webkit");
}

bool GtkPlatform::HoldDataFolderLock(const std::u16string& folder) {
  ReleaseDataFolderLock();
  const std::optional<std::string> name = FileNameFromUtf16(folder);
  if (!name) return false;
  const std::string lockPath = *name + "/" + kDataFolderLockName;
  // A copy that is deleting the folder holds the lock exclusively until it
  // ends; the lock taken after that may be on a file already deleted, and
  // is then taken again on a new one.
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (g_mkdir_with_parents(name->c_str(), 0700) != 0) return false;
    Descriptor lock(open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!lock.valid()) return false;
    int locked = -1;
    do {
      locked = flock(lock.get(), LOCK_SH);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) return false;
    struct stat held {};
    struct stat named {};
    if (fstat(lock.get(), &held) == 0 && stat(lockPath.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino) {
      dataFolderLock_ = lock.release();
      lockedFolder_ = folder;
      return true;
    }
  }
  return false;
}

void GtkPlatform::ReleaseDataFolderLock() {
  if (dataFolderLock_ >= 0) close(dataFolderLock_);
  dataFolderLock_ = -1;
  lockedFolder_.clear();
}

bool GtkPlatform::DataFolderInUse(const std::u16string& folder) {
  // Only the locks of other copies count.
  if (folder == lockedFolder_) ReleaseDataFolderLock();
  const std::optional<std::string> name = FileNameFromUtf16(folder);
  if (!name) return false;
  const std::string lockPath = *name + "/" + kDataFolderLockName;
  Descriptor lock(open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  // No lock file, no user. One that cannot be tested counts as in use, as
  // the mere presence of the runtime's lock file does on Windows.
  if (!lock.valid()) return errno != ENOENT && errno != ENOTDIR;
  if (flock(lock.get(), LOCK_EX | LOCK_NB) != 0) return true;
  // Kept until the program ends, so that a copy starting meanwhile waits
  // for the deletion rather than settling in a folder about to go.
  ReleaseDataFolderLock();
  dataFolderLock_ = lock.release();
  lockedFolder_ = folder;
  return false;
}

bool GtkPlatform::DeleteFolderTree(const std::u16string& folder) {
  const std::optional<std::string> name = FileNameFromUtf16(folder);
  if (!name) return false;
  struct stat info {};
  if (lstat(name->c_str(), &info) != 0) return errno == ENOENT;
  if (S_ISDIR(info.st_mode)) {
    const int fd = open(name->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) EmptyFolder(fd);
    rmdir(name->c_str());
  } else {
    // A link in place of the folder goes itself; what it points to stays.
    unlink(name->c_str());
  }
  return PathIsGone(name->c_str());
}

void GtkPlatform::WaitForProcessExit(uint32_t processId, uint32_t timeoutMs) {
  if (processId == 0 || processId > static_cast<uint32_t>(INT_MAX)) return;
  const auto pid = static_cast<pid_t>(processId);
  // The main loop runs meanwhile: the web engine lets go of its processes
  // from there, and the one waited for may be one of them.
  GMainContext* context = g_main_context_default();
#ifdef SYS_pidfd_open
  Descriptor process(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
  if (process.valid()) {
    bool over = false;
    // Readable once the process has ended.
    GSource* ended = g_unix_fd_source_new(process.get(), G_IO_IN);
    g_source_set_callback(ended, G_SOURCE_FUNC(OnProcessEnded), &over, nullptr);
    GSource* timeout = g_timeout_source_new(timeoutMs);
    g_source_set_callback(timeout, EndWait, &over, nullptr);
    g_source_attach(ended, context);
    g_source_attach(timeout, context);
    while (!over) g_main_context_iteration(context, TRUE);
    for (GSource* source : {ended, timeout}) {
      g_source_destroy(source);
      g_source_unref(source);
    }
    return;
  }
  if (errno == ESRCH) return;
#endif
  // Without process descriptors: look every few milliseconds.
  const gint64 deadline = g_get_monotonic_time() + gint64{timeoutMs} * 1000;
  while (ProcessRuns(pid) && g_get_monotonic_time() < deadline) {
    g_main_context_iteration(context, FALSE);
    g_usleep(5000);
  }
}

void GtkPlatform::Pause(uint32_t milliseconds) { g_usleep(gulong{milliseconds} * 1000); }

}  // namespace vistrel
