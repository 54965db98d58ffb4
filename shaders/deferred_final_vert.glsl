// Final pass, vertex stage: the full-screen quad passes straight through
// (the renderer resets both matrix stacks around it), with its texture
// coordinate, which addresses the render targets.

void main()
{
    gl_TexCoord[0] = gl_MultiTexCoord0;
    gl_Position = ftransform();
}
