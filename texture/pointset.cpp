#include "pointset.h"
#include "random.h"

pointset designpoints;

// Copy shifts in (x, y), in the order the copies follow the base points.
static const float copyshift[8][2] = {
    {256, 256}, {256, 0}, {256, -256}, {0, 256}, {0, -256}, {-256, 256}, {-256, 0}, {-256, -256},
};

static float drawcoordinate()
{
    return float(libraryrand() * 256) / 32768.0f;
}

void makepointset(float solidweight)
{
    for (int i = 0; i < basepointcount; i++) {
        featurepoint &p = designpoints.points[i];
        p.x = drawcoordinate();
        p.y = drawcoordinate();
        p.z = drawcoordinate();
        designpoints.air[i] = airflagof(p.z);
        p.weight = designpoints.air[i] ? airweight : solidweight;
    }
    for (int c = 0; c < 8; c++)
        for (int i = 0; i < basepointcount; i++) {
            int k = (c + 1) * basepointcount + i;
            featurepoint p = designpoints.points[i];
            p.x += copyshift[c][0];
            p.y += copyshift[c][1];
            designpoints.points[k] = p;
            designpoints.air[k] = designpoints.air[i];
        }
    for (int i = 0; i < designpointcount; i++)
        designpoints.index[i] = i;
}

float solidweightof(float shape)
{
    return shape >= 0.0f ? 1.0f / (shape + 1.0f) : 1.0f - shape;
}

void setsolidweight(float solidweight)
{
    for (int i = 0; i < designpointcount; i++)
        designpoints.points[i].weight = designpoints.air[i] ? airweight : solidweight;
}

pointsource designsource()
{
    return {reinterpret_cast<const unsigned char *>(designpoints.points), sizeof(featurepoint)};
}
