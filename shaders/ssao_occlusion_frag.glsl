// Occlusion pass, fragment stage: the screen-space ambient occlusion term,
// drawn at half the screen resolution in each direction into its own
// target (cleared to 1, no occlusion); the final pass upsamples it. A pixel
// of this pass stands for the screen pixel at twice its coordinates (the
// lower-left one of the 2 x 2 block it covers) and computes the term there.
//
// Reconstruction: the depth target holds the linear eye depth d (as a
// fraction of FAR_DEPTH). With the camera's vertical field of view of 60
// degrees and the viewport's aspect ratio, the eye-space point under
// texture coordinate uv is
//   P = (ndc.x * tan(30 deg) * aspect * d, ndc.y * tan(30 deg) * d, -d),
// ndc = 2 uv - 1, and projecting a point back inverts that.
//
// Ambient occlusion: AO_SAMPLES points in the hemisphere around the surface
// normal (taken from the depth itself, as the cross product of the screen
// derivatives of P: the stored shading normals may be smoothed across
// edges, and a hemisphere tilted into a flat face would darken it),
// within AO_RADIUS of P (a fixed kernel turned by a per-pixel angle about
// the normal), are projected to the screen. A point that lies behind the
// surface stored there is occluded, counted only when that surface is
// within reach of P (so a distant foreground object does not darken the
// background). Where an object rests on the ground, the ground's samples
// near the object fall inside it: the contact shadow.
//
// Pixels with nothing drawn, or beyond AO_MAX_DEPTH, are discarded: the
// target keeps its 1 (no occlusion) there.

#define FAR_DEPTH 300.0          // eye-space units, as in the geometry pass
#define TAN_HALF_FOV 0.57735027  // tan(30 deg): half the camera's 60 degree field of view
#define AO_SAMPLES 8
#define AO_RADIUS 0.7            // eye-space units
#define AO_BIAS 0.02             // eye-space units, plus AO_BIAS_SLOPE per unit of depth
#define AO_BIAS_SLOPE 0.002      // (depth quantisation) plus the depth change across one
                                 // pixel (a surface seen edge-on changes depth fast)
#define AO_MAX_DEPTH 80.0        // eye-space units; beyond, the radius covers only a few
                                 // pixels and the term is left out (saves the samples)
#define AO_STRENGTH 1.6

uniform sampler2D depthTex;  // packed linear depth, full resolution
uniform vec2 screenSize;     // the full resolution, pixels
uniform vec2 pixelSize;      // 1 / screenSize

// Set in main. Divisions are dear on a software renderer (one per sample
// is left): what can be is worked out once and multiplied.
float aspect = 1.0;        // width over height of the viewport
vec2 projScale = vec2(1.0);  // eye x, y at depth 1 to texture coordinate offsets

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
    return p.xy * (projScale / max(-p.z, 0.001)) + 0.5;
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
    aspect = screenSize.x * pixelSize.y;
    projScale = vec2(0.5 / TAN_HALF_FOV) * vec2(screenSize.y * pixelSize.x, 1.0);
    vec2 uv = (2.0 * floor(gl_FragCoord.xy) + 0.5) * pixelSize;
    float stored = UnpackDepth(texture2D(depthTex, uv));
    vec3 p = EyePosition(uv, stored * FAR_DEPTH);
    // Derivatives are taken before any branch (they need all four pixels
    // of a quad). Neighbours here are two screen pixels apart: halve the
    // depth change to get it per screen pixel. Across a silhouette they mix
    // two surfaces; turning the result towards the eye keeps such pixels'
    // hemispheres sensible.
    vec3 faceNormal = normalize(cross(dFdx(p), dFdy(p)));
    float depthStep = 0.5 * max(abs(dFdx(p.z)), abs(dFdy(p.z)));
    if (dot(faceNormal, p) > 0.0) faceNormal = -faceNormal;

    if (stored >= 0.9995 || -p.z >= AO_MAX_DEPTH) discard;
    gl_FragColor = vec4(vec3(AmbientOcclusion(p, faceNormal, depthStep)), 1.0);
}
