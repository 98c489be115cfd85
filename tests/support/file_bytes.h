// Whole files as bytes, for tests that compare what a run wrote.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

// The file's bytes; empty when it does not exist (or cannot be read).
std::string ReadFileBytes(const std::filesystem::path& path);
// Creates the missing folders above `path`, then replaces the file with `bytes`; throws when it cannot.
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

// `count` pseudo-random bytes that no compressor shrinks, the same in every run.
std::string NoiseBytes(std::size_t count);
