// The command-line list of a registered command: the lines run with the
// arguments typed after the command's word, through the macro language.
#pragma once

#include "korra/CommandLines.h"

class CCommandLinesEx : public korra::CCommandLinesA {
public:
    CCommandLinesEx() = default;
    CCommandLinesEx(const CCommandLinesEx&) = default;
    CCommandLinesEx& operator=(const CCommandLinesEx&) = default;

    using korra::CCommandLinesA::IsEqual;
    using korra::CCommandLinesA::IsNotEqual;

    // The first line's macros are expanded as for a run without arguments
    // before its program's icon is looked up.
    int GetIconIndex(bool smallIcon, bool selected, HIMAGELIST* imageList) const override;
    // ExecuteWithArguments without arguments.
    bool Execute() override;
    virtual ~CCommandLinesEx() = default;
    virtual bool IsEqual(const CCommandLinesEx& other) const;
    virtual bool IsNotEqual(const CCommandLinesEx& other) const;
    // Runs every line in order with the typed arguments (up to ten tokens,
    // later ones ignored) filled into its macros. A line that does not start
    // shows message 3006 with the prepared line; the rest still run. Always
    // false: whether anything started is not reported.
    virtual bool ExecuteWithArguments(const char* arguments);

    // The lines as ExecuteWithArguments would run them: macros expanded and,
    // for a one-line command, unused arguments appended.
    std::vector<std::string> PrepareLines(const char* arguments) const;
};
