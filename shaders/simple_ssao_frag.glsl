// Final pass, fragment stage: shades the scene from the geometry pass's
// lit colour (rgb: L / LIGHT_SCALE, alpha: r, see deferred_geom_frag.glsl)
// and the ambient occlusion term ao of the occlusion pass, which darkens
// creases and contact areas: colour = L * (ao + r).
//
// The occlusion term is drawn at half the resolution, one texel for the
// lower-left pixel of each 2 x 2 block; it is read back as the mean of two
// linear reads half a texel to either side of this pixel (coordinates from
// the vertex stage), which blurs its grain a little.

#define AO_ENABLED 1  // 0 leaves the ambient term unoccluded
#define LIGHT_SCALE 1.25  // as in the geometry pass

uniform sampler2D geomTex;       // lit colour and r; alpha 1 where nothing was drawn
uniform sampler2D occlusionTex;  // the occlusion term (red), half resolution

void main()
{
    vec2 uv = gl_TexCoord[0].xy;
    vec4 lit = texture2D(geomTex, uv);
    float ao = 1.0;
    if (AO_ENABLED != 0)
        ao = 0.5 * (texture2D(occlusionTex, gl_TexCoord[1].xy).r
                    + texture2D(occlusionTex, gl_TexCoord[1].zw).r);
    vec3 colour = lit.rgb * (LIGHT_SCALE * (ao + lit.a));
    // Nothing drawn here: a soft sky, lighter towards the horizon.
    vec3 sky = mix(vec3(0.62, 0.68, 0.75), vec3(0.36, 0.45, 0.58), uv.y);
    gl_FragColor = vec4(lit.a > 0.5 ? sky : colour, 1.0);
}
