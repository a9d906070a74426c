// Two documents used on two threads at once: a tree belongs to one thread,
// but nothing the library shares between trees (the fixed node names, the
// queue that frees trees, the parse message) may be raced by another tree's
// thread.
#include "TempFile.h"
#include "VelumTest.h"

#include <gtest/gtest.h>

#include <string>
#include <functional>
#include <thread>

using namespace Velum;

namespace {

const char kGood[] = "<?xml version=\"1.0\"?>\n<r>text<!--c--><![CDATA[d]]><e a=\"1\">more</e></r>";
const char kBad[] = "<?xml version=\"1.0\"?>\n<r><?pi in element?></r>";

// One thread's share: builds, reads, copies, writes, parses and drops trees
// again and again. What went wrong goes into failure; gtest's assertions
// stay on the main thread.
void Churn(int id, int rounds, std::string& failure)
{
    const std::string good = TempPath("thread-good-" + std::to_string(id) + ".xml");
    const std::string bad = TempPath("thread-bad-" + std::to_string(id) + ".xml");
    const std::string written = TempPath("thread-written-" + std::to_string(id) + ".xml");
    WriteBytes(good, kGood);
    WriteBytes(bad, kBad);
    try {
        for (int round = 0; round < rounds && failure.empty(); ++round) {
            Document document = createDocument(U(u"1.0"), U(u"root"), nullptr);
            Node parent = document.getDocumentElement();
            // A chain deep enough that freeing it goes through the queue.
            for (int depth = 0; depth < 40; ++depth) {
                Element e = document.createElement(U(u"e"));
                e.appendChild(document.createTextNode(U(u"t")));
                e.appendChild(document.createComment(U(u"c")));
                e.appendChild(document.createCDATASection(U(u"d")));
                e.setAttribute(U(u"n"), U(u"v"));
                parent.appendChild(e);
                parent = e;
            }
            Node copy = document.cloneNode(true);
            if (Ascii(parent.getFirstChild().getNodeName()) != "#text" || Ascii(copy.getNodeName()) != "#document")
                failure = "a fixed name changed";
            if (round % 8 == 0) {
                void* file = openFile(written.c_str(), 0x22);
                if (file == nullptr || !serialize(copy, 1, file))
                    failure = "a tree could not be written";
                closeFile(file);
                file = openFile(good.c_str(), 0x13);
                Document parsed = parse(file);
                closeFile(file);
                if (!parsed || Ascii(parsed.getDocumentElement().getFirstChild().getNodeValue()) != "text")
                    failure = "a file did not parse";
                file = openFile(bad.c_str(), 0x13);
                try {
                    parse(file);
                    failure = "a processing instruction in an element was accepted";
                } catch (const VelumException&) {
                }
                closeFile(file);
            }
        }
    } catch (const VelumException& e) {
        failure = "raised " + std::to_string(e.m_code);
    }
}

TEST(Threads, TwoDocumentsOnTwoThreads)
{
    const int rounds = 1000;
    std::string failures[2];
    std::thread first(Churn, 1, rounds, std::ref(failures[0]));
    std::thread second(Churn, 2, rounds, std::ref(failures[1]));
    first.join();
    second.join();
    EXPECT_EQ("", failures[0]);
    EXPECT_EQ("", failures[1]);
}

}  // namespace
