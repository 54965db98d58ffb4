// Occlusion and final passes, vertex stage: the full-screen quad passes
// straight through (the renderer resets both matrix stacks around it), with
// its texture coordinate, which addresses the full-size render targets.
//
// The final pass also gets two coordinates into the half-size occlusion
// target. Texel i stands for pixel 2 i, so pixel x lies at x / 2 in texel
// units (centres at i + 1/2); the two lie half a texel to either side of
// that along the diagonal, where linear filtering averages 2 x 2 texels
// each: together a small blur that evens out the term's per-pixel grain
// without moving it. Both are linear in the quad's coordinate, so they are
// worked out here, at the corners, and interpolated.

uniform vec2 screenSize;  // the full resolution, pixels

void main()
{
    vec2 occlusionSize = ceil(screenSize * 0.5);
    vec2 centre = (gl_MultiTexCoord0.xy * screenSize * 0.5 + 0.25) / occlusionSize;
    vec2 offset = 0.5 / occlusionSize;
    gl_TexCoord[0] = gl_MultiTexCoord0;
    gl_TexCoord[1] = vec4(centre + offset, centre - offset);
    gl_Position = ftransform();
}
