// Final pass, fragment stage: shades the scene from the three geometry-pass
// targets and darkens creases and contact areas with screen-space ambient
// occlusion.
//
// Reconstruction: the depth target holds the linear eye depth d (as a
// fraction of FAR_DEPTH). With the camera's vertical field of view of 60
// degrees and the viewport's aspect ratio, the eye-space
// point under texture coordinate uv is
//   P = (ndc.x * tan(30 deg) * aspect * d, ndc.y * tan(30 deg) * d, -d),
// ndc = 2 uv - 1, and projecting a point back inverts that.
//
// Ambient occlusion: AO_SAMPLES points in the hemisphere around the surface
// normal (taken from the depth itself, as the cross product of the screen
// derivatives of P: the stored shading normals may be smoothed across
// edges, and a hemisphere tilted into a flat face would darken it),
// within AO_RADIUS of P (a fixed kernel turned by a per-pixel random angle
// about the normal), are projected to the screen. A point that lies behind
// the surface stored there is occluded, counted only when that surface is
// within reach of P (so a distant foreground object does not darken the
// background). Where an object rests on the ground, the ground's samples
// near the object fall inside it: the contact shadow.

#define FAR_DEPTH 300.0          // eye-space units, as in the geometry pass
#define TAN_HALF_FOV 0.57735027  // tan(30 deg): half the camera's 60 degree field of view
#define AO_SAMPLES 8
#define AO_RADIUS 0.7            // eye-space units
#define AO_BIAS 0.02             // eye-space units, plus AO_BIAS_SLOPE per unit of depth
#define AO_BIAS_SLOPE 0.002      // (depth quantisation) plus the depth change across one
                                 // pixel (a surface seen edge-on changes depth fast)
#define AO_ENABLED 1             // 0 leaves the ambient term unoccluded
#define AO_MAX_DEPTH 80.0        // eye-space units; beyond, the radius covers only a few
                                 // pixels and the term is left out (saves the samples)
#define AO_STRENGTH 1.6
#define AMBIENT 0.45
#define DIFFUSE 0.65
#define SPECULAR 0.25
#define SHININESS 32.0

uniform sampler2D depthTex;   // packed linear depth
uniform sampler2D geomTex;    // surface colour
uniform sampler2D normalTex;  // eye-space normal as n/2 + 1/2
uniform vec4 cameraLightVec;  // the light position in eye space

// Width over height of the viewport. Measured in main from the quad's
// texture coordinates (one pixel is 1/W across and 1/H up), so it stays
// right after a resize, when SCREEN_WIDTH / SCREEN_HEIGHT of the preamble
// (built once at start) no longer match the window.
float aspect = SCREEN_WIDTH / SCREEN_HEIGHT;

// A fixed sampling kernel in the unit hemisphere about +z, spread along a
// spiral, with lengths growing so that more samples lie close to the point.
const vec3 kernel[AO_SAMPLES] = vec3[AO_SAMPLES](
    vec3(0.2534, 0.0000, 0.0654),
    vec3(-0.1448, 0.1326, 0.2227),
    vec3(0.0278, -0.3162, 0.1600),
    vec3(0.0831, 0.1084, 0.4156),
    vec3(-0.4063, -0.0719, 0.3529),
    vec3(0.5310, -0.3378, 0.2352),
    vec3(-0.1127, 0.4193, 0.7006),
    vec3(-0.3849, -0.7412, 0.5500));

float UnpackDepth(vec4 bytes)
{
    return dot(bytes, vec4(1.0, 1.0 / 255.0, 1.0 / 65025.0, 1.0 / 16581375.0));
}

// Linear eye depth (positive, eye-space units) stored under uv.
float EyeDepth(vec2 uv)
{
    return UnpackDepth(texture2D(depthTex, uv)) * FAR_DEPTH;
}

vec3 EyePosition(vec2 uv, float depth)
{
    vec2 ndc = uv * 2.0 - 1.0;
    return vec3(ndc.x * TAN_HALF_FOV * aspect * depth, ndc.y * TAN_HALF_FOV * depth, -depth);
}

vec2 ProjectToUv(vec3 p)
{
    float depth = max(-p.z, 0.001);
    vec2 ndc = vec2(p.x / (TAN_HALF_FOV * aspect * depth), p.y / (TAN_HALF_FOV * depth));
    return ndc * 0.5 + 0.5;
}

// The kernel's turn about the normal, (cos, sin), by the pixel's place in
// a 4 x 4 tile: sixteen angles in the order of a Bayer matrix, so that
// neighbouring pixels sample in very different directions and the pattern
// reads as fine, even grain. (A table: no trigonometry per pixel.)
const vec2 turns[16] = vec2[16](
    vec2(1.0000, 0.0000),
    vec2(-1.0000, 0.0000),
    vec2(0.7071, 0.7071),
    vec2(-0.7071, -0.7071),
    vec2(-0.0000, -1.0000),
    vec2(0.0000, 1.0000),
    vec2(0.7071, -0.7071),
    vec2(-0.7071, 0.7071),
    vec2(0.3827, 0.9239),
    vec2(-0.3827, -0.9239),
    vec2(0.9239, 0.3827),
    vec2(-0.9239, -0.3827),
    vec2(0.9239, -0.3827),
    vec2(-0.9239, 0.3827),
    vec2(0.3827, -0.9239),
    vec2(-0.3827, 0.9239));

vec2 PixelTurn()
{
    vec2 cell = mod(floor(gl_FragCoord.xy), 4.0);
    return turns[int(cell.x + 4.0 * cell.y)];
}

// depthStep: how much the depth changes from this pixel to the next.
float AmbientOcclusion(vec3 p, vec3 n, float depthStep)
{
    // An orthonormal frame about n, turned by the pixel's angle.
    vec3 helper = abs(n.y) < 0.9 ? vec3(0.0, 1.0, 0.0) : vec3(1.0, 0.0, 0.0);
    vec3 t0 = normalize(cross(helper, n));
    vec3 b0 = cross(n, t0);
    vec2 turn = PixelTurn();
    vec3 t = turn.x * t0 + turn.y * b0;
    vec3 b = cross(n, t);

    // A sample is compared with the depth at the centre of the pixel it
    // falls in, up to half a pixel away: allow for that change in depth.
    float bias = AO_BIAS + AO_BIAS_SLOPE * -p.z + depthStep;
    float occlusion = 0.0;
    for (int i = 0; i < AO_SAMPLES; ++i) {
        vec3 s = p + (t * kernel[i].x + b * kernel[i].y + n * kernel[i].z) * AO_RADIUS;
        vec2 uv = ProjectToUv(s);
        float sceneDepth = EyeDepth(uv);
        float sampleDepth = -s.z;
        // The stored surface is in front of the sample: the sample is inside
        // or behind something. Only surfaces within reach of p count, so a
        // foreground object does not darken what lies far behind it.
        float inReach = step(abs(-p.z - sceneDepth), 2.0 * AO_RADIUS);
        occlusion += step(sceneDepth, sampleDepth - bias) * inReach;
    }
    return clamp(1.0 - AO_STRENGTH * occlusion / float(AO_SAMPLES), 0.0, 1.0);
}

void main()
{
    vec2 uv = gl_TexCoord[0].xy;
    aspect = abs(dFdy(uv.y)) / max(abs(dFdx(uv.x)), 1e-6);
    float stored = UnpackDepth(texture2D(depthTex, uv));
    vec3 p = EyePosition(uv, stored * FAR_DEPTH);
    // Derivatives are taken before any branch (they need all four pixels
    // of a quad). Across a silhouette they mix two surfaces; turning the
    // result towards the eye keeps such pixels' hemispheres sensible.
    vec3 faceNormal = normalize(cross(dFdx(p), dFdy(p)));
    float depthStep = max(abs(dFdx(p.z)), abs(dFdy(p.z)));
    if (dot(faceNormal, p) > 0.0) faceNormal = -faceNormal;

    if (stored >= 0.9995) {
        // Nothing drawn here: a soft sky, lighter towards the horizon.
        gl_FragColor = vec4(mix(vec3(0.62, 0.68, 0.75), vec3(0.36, 0.45, 0.58), uv.y), 1.0);
        return;
    }

    vec3 n = normalize(texture2D(normalTex, uv).xyz * 2.0 - 1.0);
    vec3 albedo = texture2D(geomTex, uv).rgb;

    vec3 l = normalize(cameraLightVec.xyz - p);
    vec3 v = normalize(-p);
    vec3 h = normalize(l + v);
    float diffuse = max(dot(n, l), 0.0);
    float specular = diffuse > 0.0 ? pow(max(dot(n, h), 0.0), SHININESS) : 0.0;

    float ao = 1.0;
    if (AO_ENABLED != 0 && -p.z < AO_MAX_DEPTH) ao = AmbientOcclusion(p, faceNormal, depthStep);
    // Occlusion darkens the ambient term fully and the direct term partly:
    // a crease still receives some direct light.
    vec3 colour = albedo * (AMBIENT * ao + DIFFUSE * diffuse * (0.4 + 0.6 * ao))
                + vec3(SPECULAR * specular * ao);
    gl_FragColor = vec4(colour, 1.0);
}
