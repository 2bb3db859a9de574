// Paths that are not regular files: refused at once, never read or waited on.
// Every reader opens its file through the same check; what names a directory
// or a device in a message is the file sink's test.
#include <sys/stat.h>
#include <unistd.h>

#include "Hostile.h"

IX_HOSTILE(FifoAsImage) {
    const std::string path = dir + "/camera.png";
    ::mkfifo(path.c_str(), 0600);
    return {path, "is a FIFO"};
}

IX_HOSTILE(DeviceAsImage) {
    const std::string path = dir + "/zero.tif";
    (void)!::symlink("/dev/zero", path.c_str());
    return {path, "is a character device"};
}

// A sequence of more entries than an object file may hold objects is refused
// before any entry is looked up.
IX_HOSTILE(SequenceOfTooManyEntries) {
    std::string lines;
    for (int i = 0; i <= (1 << 20); ++i) lines += "x\n";
    return {ixhostile::writeFile(dir, "many.seq", lines), "entries exceeds the limit of 1048576 entries", 64};
}
