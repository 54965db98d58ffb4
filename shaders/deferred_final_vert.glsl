// Occlusion and final passes, vertex stage: the full-screen quad passes
// straight through (the renderer resets both matrix stacks around it), with
// its texture coordinate, which addresses the full-size render targets.
// The final pass also gets the coordinate into the half-size occlusion
// target (texel i stands for pixel 2 i: pixel x lies at x / 2 in texel
// units, whose centres are at i + 1/2); it is linear in the quad's, so it is
// worked out here, at the corners, and interpolated.

uniform vec2 screenSize;  // the full resolution, pixels

void main()
{
    vec2 occlusionSize = ceil(screenSize * 0.5);
    gl_TexCoord[0] = gl_MultiTexCoord0;
    gl_TexCoord[1] = vec4(gl_MultiTexCoord0.xy * screenSize * 0.5 / occlusionSize
                          + 0.25 / occlusionSize, 0.0, 1.0);
    gl_Position = ftransform();
}
