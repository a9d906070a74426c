// Random call sequences on the input history (inputs recorded, duplicates,
// browsing with Up and Down, sizes 0 to 255 and beyond, clearing, copies as
// the settings sheet makes them) against a plain list, compared after every
// step: entries newest first, capacity, position, saved input and what the
// box would show.
#include "InputHistory.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Model {
    std::vector<std::string> entries;  // index 0 the newest
    std::size_t capacity = CInputHistory::kDefaultCapacity;
    std::size_t position = 0;
    std::string saved;

    void Add(const std::string& text)
    {
        if (text.empty() || capacity == 0 || (!entries.empty() && entries.front() == text))
            return;
        if (entries.size() == capacity)
            entries.pop_back();
        entries.insert(entries.begin(), text);
    }
    bool Back(const std::string& typed)
    {
        if (capacity == 0 || position == entries.size())
            return false;
        if (position == 0)
            saved = typed;
        ++position;
        return true;
    }
    bool Forward()
    {
        if (capacity == 0 || position == 0)
            return false;
        --position;
        return true;
    }
    void Resize(std::size_t size)
    {
        capacity = size > 255 ? 255 : size;
        if (entries.size() > capacity)
            entries.resize(capacity);
        if (position > entries.size())
            position = entries.size();
    }
    std::string Current() const
    {
        if (position == 0)
            return saved;
        return position <= entries.size() ? entries[position - 1] : std::string();
    }
};

[[noreturn]] void Finding(const char* what, int step)
{
    fprintf(stderr, "FINDING: %s after step %d\n", what, step);
    abort();
}

void Compare(const CInputHistory& history, const Model& model, int step)
{
    if (history.GetCount() != model.entries.size())
        Finding("entry count differs", step);
    if (history.GetCount() > history.GetCapacity())
        Finding("more entries than capacity", step);
    for (std::size_t i = 0; i < model.entries.size(); ++i) {
        if (history.GetAt(i) != model.entries[i])
            Finding("entry differs", step);
    }
    if (history.GetCapacity() != model.capacity)
        Finding("capacity differs", step);
    if (history.GetPosition() != model.position)
        Finding("position differs", step);
    if (history.GetSavedInput() != model.saved)
        Finding("saved input differs", step);
    if (history.GetCurrent() != model.Current())
        Finding("current text differs", step);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    // A few texts, so that the same input comes again and again.
    const std::vector<std::string> pool = {"notepad", "NOTEPAD", "calc a", " x", "\x83\x5C"};
    const auto text = [&] {
        if (provider.ConsumeBool())
            return pool[provider.ConsumeIntegralInRange<std::size_t>(0, pool.size() - 1)];
        return provider.ConsumeRandomLengthString(8);
    };

    CInputHistory history;
    Model model;
    for (int step = 0; step < 400 && provider.remaining_bytes() > 0; ++step) {
        switch (provider.ConsumeIntegralInRange<int>(0, 7)) {
        case 0:
        case 1: {
            const std::string t = text();
            history.Add(t);
            model.Add(t);
            break;
        }
        case 2: {
            const std::string typed = text();
            if (history.Back(typed) != model.Back(typed))
                Finding("Back answers differently", step);
            break;
        }
        case 3:
            if (history.Forward() != model.Forward())
                Finding("Forward answers differently", step);
            break;
        case 4: {
            // Mostly the sizes the settings allow, now and then beyond.
            const std::size_t most = provider.ConsumeBool() ? 5 : 300;
            const std::size_t capacity = provider.ConsumeIntegralInRange<std::size_t>(0, most);
            history.SetCapacity(capacity);
            model.Resize(capacity);
            break;
        }
        case 5:
            history.Clear();
            model.entries.clear();
            model.position = 0;
            break;
        case 6: {
            // A working copy taken and written back, as the settings sheet
            // does; the copy then lives on alone.
            CInputHistory copy(history);
            Compare(copy, model, step);
            history = CInputHistory();
            history = copy;
            break;
        }
        default: {
            const std::size_t k = provider.ConsumeIntegralInRange<std::size_t>(0, model.entries.size() + 1);
            const bool valid = k <= model.entries.size();
            if (history.SetPosition(k) != valid)
                Finding("SetPosition answers differently", step);
            if (valid)
                model.position = k;
            break;
        }
        }
        Compare(history, model, step);
    }
    return 0;
}
