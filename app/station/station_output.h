// Station mode's standard output: lines from every stick's thread, one whole line at a time. On
// a terminal the sticks' lines stay at the bottom, one per stick, redrawn in place; other lines
// go above them. Elsewhere (a log, a pipe) every line is printed as it comes.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class StationOutput {
public:
    explicit StationOutput(bool redraw) : m_redraw(redraw) {}

    // A line of its own (the download, a skipped stick, the summary).
    void Line(const std::string& text);
    // The stick `name`'s line now says `text`.
    void StickLine(const std::string& name, const std::string& text);
    // The sticks' lines stay as they are; what follows is printed below them.
    void EndBlock();
    // Progress shown in steps of this many percent: every percent on a terminal, ten elsewhere.
    int Step() const { return m_redraw ? 1 : 10; }

private:
    void MoveToBlock();
    void DrawBlock();

    const bool m_redraw;
    std::mutex m_mutex;
    std::vector<std::pair<std::string, std::string>> m_sticks; // in the order they were plugged in
    std::size_t m_drawn = 0; // stick lines on the screen below the cursor's line
};
