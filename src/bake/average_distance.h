// The search-distance suggestion of the ambient-occlusion page: the mean, over
// the covered texels, of the distance along each texel's normal to the
// nearest occluder, a texel that sees nothing counting as 0.
#pragma once

// Reads the plug-in state's texel table and occluder set. Returns 0 when no
// texel is covered, and when there is no table built for the current texture
// size (none yet, or the size changed since), which it then does not read.
double AverageOccluderDistance();
