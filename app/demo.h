// The demo: a folder standing in for the stick (E:, removable, 8 G free) and one for the hard
// disk (C:, fixed, 20 G free) in a fresh temporary folder, a sample package offered from a
// file:// base URL there, a reachability probe that answers without a network, and a fixed key.
#pragma once

#include <string>

struct DemoWorld {
    std::string root; // the temporary folder; the demo touches nothing outside it
    std::string stickFolder;
    std::string diskFolder;
    std::string packageKey;
    std::string error; // set when the world could not be made
};

// Makes the folders and the volume map, and points the program at them: the volume map
// variable, the base URLs and the probe address. Call before anything asks for drives.
DemoWorld PrepareDemo();
