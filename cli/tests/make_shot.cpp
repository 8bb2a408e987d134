// Writes a shot of cel-like line art for the farm test: make_shot FOLDER FRAMES WIDTH HEIGHT
// gives FOLDER/shot.0001.png and on, each frame a different picture.
#include "cel_art.h"
#include "cli_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: make_shot FOLDER FRAMES WIDTH HEIGHT\n");
        return 2;
    }
    const std::string folder = argv[1];
    const int frames = std::atoi(argv[2]);
    CelArtOptions art;
    art.width = std::atoi(argv[3]);
    art.height = std::atoi(argv[4]);
    try {
        for (int f = 1; f <= frames; ++f) {
            art.seed = uint32_t(f);
            const std::vector<uint8_t> rgba = drawCelArt(art);
            char name[32];
            std::snprintf(name, sizeof name, "/shot.%04d.png", f);
            writeSamples(folder + name,
                         ImageSamples{art.width, art.height, 4, 8, {rgba.begin(), rgba.end()}});
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_shot: %s\n", e.what());
        return 1;
    }
    return 0;
}
