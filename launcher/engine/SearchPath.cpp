#include "SearchPath.h"

#include "TextRoutines.h"

std::vector<std::string> ProgramPathCandidates(const std::string& pathList, const std::string& program)
{
    std::vector<std::string> candidates;
    const char* list = pathList.c_str();
    // One walk over the characters: a ';' ends a piece only where a
    // character begins, and the list ends at its first NUL.
    std::size_t begin = 0;
    for (std::size_t i = 0;; i += IsLeadByteAt(list, i) ? 2 : 1) {
        if (list[i] != '\0' && list[i] != ';')
            continue;
        std::string candidate(list + begin, list + i);
        if (!candidate.empty()) {
            if (!EndsWithChar(candidate, '\\'))
                candidate += '\\';
            candidate += program;
            candidates.push_back(std::move(candidate));
        }
        if (list[i] == '\0')
            break;
        begin = i + 1;
    }
    return candidates;
}
