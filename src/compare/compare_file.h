// Finds byte-identical output files of one class and moves the later copy of
// each pair into the duplicate folder, listing the pair.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace psxdig {

// Compares the written files of one class (items whose created flag is set),
// found by their output names. For ".vh" and ".sshd" a header is a duplicate
// only when its ".vb" body is identical too, and the body moves with it.
void CompareFile(const std::string& inputPath, const std::string& folderPath, std::uint32_t count,
                 const std::string& ext, const std::vector<std::uint32_t>& created,
                 std::FILE* listing);

}  // namespace psxdig
