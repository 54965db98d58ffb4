// Shadow generation, vertex stage: draws the scene from a light with the
// light's matrices loaded in the fixed-function stacks and hands the linear
// light-space depth to the fragment stage.

varying float lightDepth;  // eye depth from the light, eye-space units

void main()
{
    vec4 eye = gl_ModelViewMatrix * gl_Vertex;
    lightDepth = -eye.z;
    gl_Position = gl_ProjectionMatrix * eye;
}
