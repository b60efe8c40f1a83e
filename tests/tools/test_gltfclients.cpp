// Real glTF clients on mapexport's files. The Khronos validator (npm's
// gltf-validator, installed into the build directory as its lock file says)
// finds no error and no warning; assimp (Debian's assimp-utils) finds what glbcheck.py found: a mesh for each primitive, the
// vertices, the triangles, the images and the box (not in a quantized file,
// whose positions it does not read).
#include "exporthelp.h"

TEST(gltfclients, validatorandassimp)
{
    int code;
    std::string out = run("mkdir -p " VALIDATORDIR " && cp " VALIDATORSOURCE "/* " VALIDATORDIR " && cd " VALIDATORDIR
                          " && npm ci --no-audit --no-fund --loglevel=error",
                          &code);
    ASSERT_EQ(code, 0) << out;
    std::string terrainmap = testmap("terrain.gmv", terrain, 70, 20, true);
    std::string checkermap = testmap("checker.gmv", checker, 20, 70, true);
    const struct {
        const std::string *map;
        const char *options, *checkoptions;   // for mapexport, for glbcheck.py
    } rows[] = {
        {&terrainmap, "", ""},
        {&terrainmap, "--quantize --unlit --scale 0.1", "--scale 0.1"},
        {&terrainmap, "--region 5,5,5,5", "--region 5,5,5,5"},   // one column: its top face alone
        {&checkermap, "", ""},
    };
    for (const auto &r : rows) {
        std::string glb = scratchpath("out.glb"), report = exportandcheck(*r.map, glb, r.options, r.checkoptions);
        out = run("node " VALIDATORDIR "/validate.js " + shellword(glb), &code);
        EXPECT_TRUE(code == 0 && out.rfind("errors 0 warnings 0 ", 0) == 0) << r.options << ": " << out;
        if (std::string(r.options).find("--quantize") != std::string::npos)
            continue;
        std::string info = run("assimp info " + shellword(glb) + " --raw", &code);
        ASSERT_EQ(code, 0) << info;
        std::vector<double> counts = numbersafter(report, "primitives", 4), box = numbersafter(report, "bbox", 6);
        std::vector<double> low = numbersafter(info, "Minimum point", 3), high = numbersafter(info, "Maximum point", 3);
        EXPECT_EQ(numbersafter(info, "Meshes:", 1)[0], counts[0]) << r.options << ": " << info;
        EXPECT_EQ(numbersafter(info, "Vertices:", 1)[0], counts[1]) << r.options << ": " << info;
        EXPECT_EQ(numbersafter(info, "Faces:", 1)[0], counts[2]) << r.options << ": " << info;
        EXPECT_EQ(numbersafter(info, "Textures (embed.):", 1)[0], counts[3]) << r.options << ": " << info;
        for (int k = 0; k < 3; k++) {
            EXPECT_NEAR(low[k], box[k], 1e-3) << r.options << ": " << info;
            EXPECT_NEAR(high[k], box[3 + k], 1e-3) << r.options << ": " << info;
        }
    }
}
