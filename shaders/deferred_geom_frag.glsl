// Geometry pass, fragment stage. Writes two 8-bit RGBA targets:
//   gl_FragData[0] (depth target):  linear eye depth / FAR_DEPTH, packed into
//                                   the four bytes (24+ bits of precision);
//   gl_FragData[1] (colour target): the lit colour, split for the final
//                                   pass: rgb = L / LIGHT_SCALE, alpha = r.
// Shading with ambient occlusion ao (from the occlusion pass) is
//   colour = albedo * (AMBIENT * ao + DIFFUSE * d * (0.4 + 0.6 * ao))
//            + SPECULAR * s * ao
// for the diffuse term d and the specular term s of the light
// ("cameraLightVec", eye space): occlusion darkens the ambient term fully
// and the direct term partly (a crease still receives some direct light).
// That is L * (ao + r) with
//   L = albedo * (AMBIENT + 0.6 DIFFUSE d) + SPECULAR s / (1 + r),
//   r = 0.4 DIFFUSE d / (AMBIENT + 0.6 DIFFUSE d),
// exactly where there is no highlight, and also where nothing occludes the
// highlight (ao = 1); an occluded highlight keeps a little more light
// (SPECULAR s r (1 - ao) / (1 + r) at most). So the final pass reads one
// texel of this pass per pixel instead of colour, light terms and normal.
// The targets are cleared to white, which unpacks to a depth of 1 (the far
// plane) and leaves alpha 1 in the colour target (r stays below 0.31):
// the passes after treat that as background.

#define FAR_DEPTH 300.0  // eye-space units; the camera's far plane
#define AMBIENT 0.45
#define DIFFUSE 0.65
#define SPECULAR 0.25
#define LIGHT_SCALE 1.25  // L reaches 0.84 + 0.25 for a white surface: kept below 1

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
    float direct = DIFFUSE * diffuse;
    float ambient = AMBIENT + 0.6 * direct;
    float r = 0.4 * direct / ambient;
    vec3 lit = vertexColour.rgb * ambient + vec3(SPECULAR * specular / (1.0 + r));
    gl_FragData[0] = PackDepth(depth);
    gl_FragData[1] = vec4(lit * (1.0 / LIGHT_SCALE), r);
}
