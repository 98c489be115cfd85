#include "app/station/station_output.h"

#include <algorithm>
#include <iostream>

void StationOutput::Line(const std::string& text)
{
    const std::lock_guard lock(m_mutex);
    if (!m_redraw) {
        std::cout << text << std::endl;
        return;
    }
    MoveToBlock();
    std::cout << "\x1b[2K" << text << '\n';
    DrawBlock();
}

void StationOutput::StickLine(const std::string& name, const std::string& text)
{
    const std::lock_guard lock(m_mutex);
    if (!m_redraw) {
        std::cout << name << ' ' << text << std::endl;
        return;
    }
    const auto it =
        std::find_if(m_sticks.begin(), m_sticks.end(), [&name](const auto& line) { return line.first == name; });
    if (it == m_sticks.end())
        m_sticks.emplace_back(name, text);
    else
        it->second = text;
    MoveToBlock();
    DrawBlock();
}

void StationOutput::EndBlock()
{
    const std::lock_guard lock(m_mutex);
    m_sticks.clear();
    m_drawn = 0;
}

void StationOutput::MoveToBlock()
{
    if (m_drawn > 0)
        std::cout << "\x1b[" << m_drawn << 'A';
}

void StationOutput::DrawBlock()
{
    for (const auto& [name, text] : m_sticks)
        std::cout << "\r\x1b[2K" << name << ' ' << text << '\n';
    m_drawn = m_sticks.size();
    std::cout.flush();
}
