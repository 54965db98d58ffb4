// Shadow generation, fragment stage: writes the light-space depth into an
// 8-bit RGBA target, packed the same way as the geometry pass packs depth.

#define LIGHT_FAR 100.0  // eye-space units; the light projection's far plane

varying float lightDepth;

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

void main()
{
    gl_FragColor = PackDepth(clamp(lightDepth / LIGHT_FAR, 0.0, 0.9999));
}
