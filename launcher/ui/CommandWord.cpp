#include "CommandEditing.h"

#include "CommandTable.h"
#include "Dispatch.h"
#include "TextRoutines.h"
#include "resource.h"

UINT CheckCommandWord(const std::string& word, const std::string& openedWith,
                      const CCommandTable* table, std::size_t lineCount)
{
    if (word.empty())
        return IDS_ENTER_COMMAND_WORD;
    if (CountCharacters(word) > kWordLimit)
        return IDS_COMMAND_WORD_TOO_LONG;
    if (!IsSameWord(word, openedWith) && table != nullptr && table->Find(word) != nullptr)
        return IDS_COMMAND_EXISTS;
    if (IsReservedWord(word))
        return IDS_COMMAND_RESERVED;
    // A tab (pasted) could never be typed back into the input box, which
    // ends the word there as it does at a space.
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (IsLeadByteAt(word.c_str(), i))
            ++i;
        else if (static_cast<unsigned char>(word[i]) <= ' ')
            return IDS_COMMAND_HAS_SPACE;
    }
    if (lineCount == 0)
        return IDS_ENTER_PROGRAM;
    return 0;
}
