#pragma once

#include <string>

namespace camera_standin {

// A raw pseudo-terminal that backs an emulated device node: the node links
// to the slave side, so a program's poll() on the node sees what is written
// to the master; closing both ends hangs the node up (POLLHUP). A keeper
// descriptor on the slave side keeps the pty alive between the program's
// opens and lets us take bytes back.
class Pty
{
public:
    Pty() = default;
    ~Pty() { close(); }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool open();
    void close();
    bool isOpen() const { return master >= 0; }
    const std::string &slaveName() const { return slave; }

    // One byte to the master: the node becomes readable.
    bool ring();
    // Takes up to count bytes back through the keeper; how many it took.
    std::size_t takeBack(std::size_t count);

private:
    int master = -1;
    int keeper = -1;
    std::string slave;
};

} // namespace camera_standin
