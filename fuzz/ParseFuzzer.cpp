// Feeds arbitrary bytes to Velum::parse. Any crash, leak or sanitizer report
// is a finding; so is a returned tree whose parent links do not match its
// child lists.
#include "FuzzSupport.h"

#include <vector>

namespace {

// Walks the tree without recursion (fuzzed documents nest deeply) and
// checks that every child names its list's owner as parent.
void CheckTree(const Velum::Document& document)
{
    struct Level {
        Velum::Node parent;
        Velum::NodeList children;
        unsigned long next;
    };
    std::vector<Level> stack;
    Velum::Node root = document;
    stack.push_back(Level{root, root.getChildNodes(), 0});
    while (!stack.empty()) {
        Level& level = stack.back();
        if (level.next >= level.children.getLength()) {
            stack.pop_back();
            continue;
        }
        Velum::Node child = level.children.item(level.next++);
        if (!child || child.getParentNode() != level.parent) {
            fprintf(stderr, "child %lu of a parsed node does not point back to it\n", level.next - 1);
            abort();
        }
        if (child.getNodeType() == Velum::ELEMENT_NODE) {
            Velum::NamedNodeMap attributes = child.getAttributes();
            for (unsigned long i = 0; i < attributes.getLength(); ++i)
                (void)attributes.item(i).getNodeValue().getLength();
        }
        if (child.hasChildNodes()) {
            Velum::NodeList grandchildren = child.getChildNodes();
            stack.push_back(Level{child, grandchildren, 0});
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::InitializeVelum();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static fuzz::MemoryFile input("velum-parse-input");
    input.assign(data, size);
    void* file = input.open(fuzz::OPEN_EXISTING_READ);
    Velum::Document document = fuzz::ParseOrNothing(file);
    Velum::closeFile(file);
    if (document)
        CheckTree(document);
    return 0;
}
