// Geometry pass, fragment stage. Writes three 8-bit RGBA targets:
//   gl_FragData[0] (depth target):  linear eye depth / FAR_DEPTH, packed into
//                                   the four bytes (24+ bits of precision);
//   gl_FragData[1] (colour target): the surface colour, alpha 0;
//   gl_FragData[2] (normal target): what the final pass needs of the
//                                   normal: the diffuse term (red) and the
//                                   specular term (green) of the light
//                                   ("cameraLightVec", eye space).
// The targets are cleared to white, which unpacks to a depth of 1 (the far
// plane) and leaves the colour's alpha 1: the passes after treat that as
// background. Lighting here, once per drawn fragment, spares the final
// pass the normal and the depth it would need for it at every pixel.

#define FAR_DEPTH 300.0  // eye-space units; the camera's far plane

uniform vec4 cameraLightVec;  // the light position in eye space

varying vec3 eyePosition;
varying vec3 eyeNormal;
varying vec4 vertexColour;

// Packs v in [0, 1) into four bytes, most significant first, each an exact
// multiple of 1/255 so that the 8-bit target stores it without rounding:
// byte i = floor(fraction * 255), fraction = what the earlier bytes left.
// dot(bytes, (1, 1/255, 1/255^2, 1/255^3)) gives v back (to float precision).
vec4 PackDepth(float v)
{
    vec4 bytes;
    float rest = v * 255.0;
    bytes.x = floor(rest);
    rest = (rest - bytes.x) * 255.0;
    bytes.y = floor(rest);
    rest = (rest - bytes.y) * 255.0;
    bytes.z = floor(rest);
    rest = (rest - bytes.z) * 255.0;
    bytes.w = floor(rest);
    return bytes / 255.0;
}

// x to the power 32 (the shininess) by five squarings.
float Shine(float x)
{
    x *= x;
    x *= x;
    x *= x;
    x *= x;
    return x * x;
}

void main()
{
    // Stay just below 1 so that no surface reads back as background.
    float depth = clamp(-eyePosition.z / FAR_DEPTH, 0.0, 0.999);
    vec3 n = normalize(eyeNormal);
    vec3 l = normalize(cameraLightVec.xyz - eyePosition);
    vec3 v = normalize(-eyePosition);
    vec3 h = normalize(l + v);
    float diffuse = max(dot(n, l), 0.0);
    float specular = diffuse > 0.0 ? Shine(max(dot(n, h), 0.0)) : 0.0;
    gl_FragData[0] = PackDepth(depth);
    gl_FragData[1] = vec4(vertexColour.rgb, 0.0);
    gl_FragData[2] = vec4(diffuse, specular, 0.0, 1.0);
}
