#pragma once

#include <memory>
#include <string>

typedef struct _UMockdevIoctlBase UMockdevIoctlBase;

namespace camera_standin {

class Testbed;

// A video4linux node in a testbed that answers VIDIOC_QUERYCAP the way
// uvcvideo does: a UVC function brings a capture node and a metadata node
// with the same card name, told apart only by their device caps. Nothing
// streams; the node is there to be listed and asked what it is.
class MockVideoNode
{
public:
    enum class Kind { Capture, Metadata };

    // Points /dev/<node> at /dev/null and attaches the handler; check valid().
    MockVideoNode(Testbed &testbed, std::string node, Kind kind, const std::string &cardName);
    ~MockVideoNode();
    MockVideoNode(const MockVideoNode &) = delete;
    MockVideoNode &operator=(const MockVideoNode &) = delete;

    bool valid() const { return attached; }
    const std::string &node() const { return nodePath; }

    struct Answer; // what the handler serves, shared with umockdev's thread

private:
    Testbed &testbed;
    const std::string nodePath;
    UMockdevIoctlBase *handler = nullptr;
    bool attached = false;
};

} // namespace camera_standin
