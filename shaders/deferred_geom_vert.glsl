// Geometry pass, vertex stage. Passes the eye-space position, the eye-space
// normal and the vertex colour on to the fragment stage, which writes them
// into the two render targets. Uses the fixed-function matrices that the
// renderer loads (camera view times object transform, camera projection).

varying vec3 eyePosition;  // eye space, camera at the origin looking down -z
varying vec3 eyeNormal;    // eye space, not yet normalised
varying vec4 vertexColour;

void main()
{
    vec4 eye = gl_ModelViewMatrix * gl_Vertex;
    eyePosition = eye.xyz;
    // The normal matrix is the inverse transpose of the modelview's upper
    // 3x3; objects are scaled uniformly, so it only rotates (and scales).
    eyeNormal = gl_NormalMatrix * gl_Normal;
    vertexColour = gl_Color;
    gl_TexCoord[0] = gl_MultiTexCoord0;
    gl_Position = gl_ProjectionMatrix * eye;
}
