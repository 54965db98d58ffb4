// Final pass, fragment stage: shades the scene from the geometry pass's
// colour and light terms and the ambient occlusion term of the occlusion
// pass, which darkens creases and contact areas.
//
// The occlusion term is drawn at half the resolution, one texel for the
// lower-left pixel of each 2 x 2 block; it is read back as the mean of two
// linear reads half a texel to either side of this pixel (coordinates from
// the vertex stage), which blurs its grain a little.

#define AO_ENABLED 1  // 0 leaves the ambient term unoccluded
#define AMBIENT 0.45
#define DIFFUSE 0.65
#define SPECULAR 0.25

uniform sampler2D geomTex;       // surface colour; alpha 1 where nothing was drawn
uniform sampler2D normalTex;     // light terms: diffuse (red), specular (green)
uniform sampler2D occlusionTex;  // the occlusion term (red), half resolution

void main()
{
    vec2 uv = gl_TexCoord[0].xy;
    vec4 albedo = texture2D(geomTex, uv);
    vec2 terms = texture2D(normalTex, uv).rg;
    float ao = 1.0;
    if (AO_ENABLED != 0)
        ao = 0.5 * (texture2D(occlusionTex, gl_TexCoord[1].xy).r
                    + texture2D(occlusionTex, gl_TexCoord[1].zw).r);
    // Occlusion darkens the ambient term fully and the direct term partly:
    // a crease still receives some direct light.
    vec3 colour = albedo.rgb * (AMBIENT * ao + DIFFUSE * terms.x * (0.4 + 0.6 * ao))
                + vec3(SPECULAR * terms.y * ao);
    // Nothing drawn here: a soft sky, lighter towards the horizon.
    vec3 sky = mix(vec3(0.62, 0.68, 0.75), vec3(0.36, 0.45, 0.58), uv.y);
    gl_FragColor = vec4(albedo.a > 0.5 ? sky : colour, 1.0);
}
