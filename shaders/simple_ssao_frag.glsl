// Final pass, fragment stage: shades the scene from the three geometry-pass
// targets and the ambient occlusion term of the occlusion pass, which
// darkens creases and contact areas.
//
// The eye-space point under texture coordinate uv, from the linear eye depth
// d the depth target holds (as a fraction of FAR_DEPTH), the camera's
// vertical field of view of 60 degrees and the viewport's aspect ratio:
//   P = (ndc.x * tan(30 deg) * aspect * d, ndc.y * tan(30 deg) * d, -d),
// ndc = 2 uv - 1.
//
// The occlusion term is drawn at half the resolution, one texel for the
// lower-left pixel of each 2 x 2 block; it is read back with linear
// filtering between the four texels nearest this pixel.

#define FAR_DEPTH 300.0          // eye-space units, as in the geometry pass
#define TAN_HALF_FOV 0.57735027  // tan(30 deg): half the camera's 60 degree field of view
#define AO_ENABLED 1             // 0 leaves the ambient term unoccluded
#define AMBIENT 0.45
#define DIFFUSE 0.65
#define SPECULAR 0.25
#define SHININESS 32.0

uniform sampler2D depthTex;      // packed linear depth
uniform sampler2D geomTex;       // surface colour
uniform sampler2D normalTex;     // eye-space normal as n/2 + 1/2
uniform sampler2D occlusionTex;  // the occlusion term (red), half resolution
uniform vec4 cameraLightVec;     // the light position in eye space
uniform vec2 screenSize;         // the window, pixels

float UnpackDepth(vec4 bytes)
{
    return dot(bytes, vec4(1.0, 1.0 / 255.0, 1.0 / 65025.0, 1.0 / 16581375.0));
}

vec3 EyePosition(vec2 uv, float depth)
{
    vec2 ndc = uv * 2.0 - 1.0;
    float aspect = screenSize.x / screenSize.y;
    return vec3(ndc.x * TAN_HALF_FOV * aspect * depth, ndc.y * TAN_HALF_FOV * depth, -depth);
}

// The occlusion term at this pixel. Texel i stands for pixel 2 i, so pixel
// x lies at x / 2 in texel units, whose centres are at i + 1/2.
float Occlusion()
{
    vec2 texel = (gl_FragCoord.xy - 0.5) * 0.5 + 0.5;
    return texture2D(occlusionTex, texel / ceil(screenSize * 0.5)).r;
}

void main()
{
    vec2 uv = gl_TexCoord[0].xy;
    float stored = UnpackDepth(texture2D(depthTex, uv));
    if (stored >= 0.9995) {
        // Nothing drawn here: a soft sky, lighter towards the horizon.
        gl_FragColor = vec4(mix(vec3(0.62, 0.68, 0.75), vec3(0.36, 0.45, 0.58), uv.y), 1.0);
        return;
    }
    vec3 p = EyePosition(uv, stored * FAR_DEPTH);
    vec3 n = normalize(texture2D(normalTex, uv).xyz * 2.0 - 1.0);
    vec3 albedo = texture2D(geomTex, uv).rgb;

    vec3 l = normalize(cameraLightVec.xyz - p);
    vec3 v = normalize(-p);
    vec3 h = normalize(l + v);
    float diffuse = max(dot(n, l), 0.0);
    float specular = diffuse > 0.0 ? pow(max(dot(n, h), 0.0), SHININESS) : 0.0;

    float ao = AO_ENABLED != 0 ? Occlusion() : 1.0;
    // Occlusion darkens the ambient term fully and the direct term partly:
    // a crease still receives some direct light.
    vec3 colour = albedo * (AMBIENT * ao + DIFFUSE * diffuse * (0.4 + 0.6 * ao))
                + vec3(SPECULAR * specular * ao);
    gl_FragColor = vec4(colour, 1.0);
}
