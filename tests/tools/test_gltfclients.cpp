// Real glTF clients on mapexport's files: the Khronos validator (from npm,
// installed into the build directory by the test) and assimp (Debian's
// assimp-utils).
#include "exporthelp.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The validator's package, as locked in the source tree, installed into the
// build directory (npm ci: exactly the locked versions).
bool installvalidator()
{
    int code;
    std::string out = run(std::string("mkdir -p ") + shellword(VALIDATORDIR) + " && cp " + VALIDATORSOURCE +
                              "/package.json " + VALIDATORSOURCE + "/package-lock.json " + VALIDATORSOURCE +
                              "/validate.js " + shellword(VALIDATORDIR) + " && cd " + shellword(VALIDATORDIR) +
                              " && npm ci --no-audit --no-fund --loglevel=error",
                          &code);
    EXPECT_EQ(code, 0) << out;
    return code == 0;
}

} // namespace

// The Khronos validator: no error and no warning.
TEST(gltfclients, validator)
{
    ASSERT_TRUE(installvalidator());
    std::string terrain = writemap("terrain.gmv", terrainmap(70, 20));
    std::string checker = writemap("checker.gmv", checkermap(20, 70));
    const std::pair<const std::string *, const char *> rows[] = {
        {&terrain, ""},
        {&terrain, "--quantize --unlit --scale 0.1"},
        {&terrain, "--region 5,5,5,5"},   // one column: its top face alone
        {&checker, ""},
    };
    for (const auto &[map, options] : rows) {
        std::string glb = scratchpath("out.glb");
        int code;
        std::string out = run(std::string(MAPEXPORT) + " " + shellword(*map) + " " + shellword(glb) + " " + options, &code);
        ASSERT_EQ(code, 0) << out;
        out = run(std::string("node ") + VALIDATORDIR + "/validate.js " + shellword(glb), &code);
        EXPECT_EQ(code, 0) << options << ": " << out;
        EXPECT_EQ(out.rfind("errors 0 warnings 0 ", 0), 0u) << options << ": " << out;
    }
}

// assimp opens the file and counts what glbcheck.py counted, in the same box.
TEST(gltfclients, assimp)
{
    std::string map = writemap("terrain.gmv", terrainmap(70, 20));
    std::string glb = scratchpath("terrain.glb");
    std::string report = exportandcheck(map, glb, "", "");
    int code;
    std::string info = run("assimp info " + shellword(glb) + " --raw", &code);
    ASSERT_EQ(code, 0) << info;
    // "primitives P vertices V triangles T" and "bbox x0 y0 z0 x1 y1 z1" from the checker.
    int primitives = 0, vertices = 0, triangles = 0;
    std::sscanf(field(report, "primitives").c_str(), "%d vertices %d triangles %d", &primitives, &vertices, &triangles);
    double box[6] = {0};
    std::sscanf(field(report, "bbox").c_str(), "%lf %lf %lf %lf %lf %lf", box, box + 1, box + 2, box + 3, box + 4,
                box + 5);
    ASSERT_GT(triangles, 0) << report;
    // assimp makes a mesh of each primitive.
    auto count = [&](const char *key) {
        size_t at = info.find(key);
        return at == std::string::npos ? -1L : std::atol(info.c_str() + at + std::strlen(key));
    };
    EXPECT_EQ(count("Meshes:"), primitives) << info;
    EXPECT_EQ(count("Vertices:"), vertices) << info;
    EXPECT_EQ(count("Faces:"), triangles) << info;
    EXPECT_EQ(count("Textures (embed.):"), 2) << info;   // one atlas per tile
    double low[3], high[3];
    size_t at = info.find("Minimum point");
    ASSERT_NE(at, std::string::npos) << info;
    ASSERT_EQ(std::sscanf(info.c_str() + info.find('(', at), "(%lf %lf %lf)", low, low + 1, low + 2), 3) << info;
    at = info.find("Maximum point");
    ASSERT_NE(at, std::string::npos) << info;
    ASSERT_EQ(std::sscanf(info.c_str() + info.find('(', at), "(%lf %lf %lf)", high, high + 1, high + 2), 3) << info;
    for (int k = 0; k < 3; k++) {
        EXPECT_NEAR(low[k], box[k], 1e-3) << info;
        EXPECT_NEAR(high[k], box[3 + k], 1e-3) << info;
    }
}
