uniform sampler2D texScreen;
uniform float transparent_value;
uniform float procType[4];
uniform float fGlobalColorRatio[4];
uniform float stepColorRed[256];
uniform float stepColorGreen[256];
uniform float stepColorBlue[256];
uniform float edgeParam[3];
uniform float edgePos[40];

// Edge blend curve before its gamma: symmetric about (0.5, 0.5), 1 past the
// end. The curve is pow(shape(x), g); the gamma goes on once for both
// directions, pow(a, g) * pow(b, g) being pow(a * b, g), and each direction
// takes one pow, not one per side and colour: a software rasteriser pays
// for every pow on every pixel of every output.
float blendShape(float x)
{
    const float p = 1.2;
    const float a = 0.5;
    if (x > 1.0)
        return 1.0;
    bool low = x < 0.5;
    float s = pow(2.0 * (low ? x : 1.0 - x), p);
    return low ? a * s : 1.0 - (1.0 - a) * s;
}

// Every branch costs on a software rasteriser whichever is taken, so the
// texture is read once, up front.
void main()
{
    int op = int(procType[0]);
    vec4 dc = texture2D(texScreen, gl_TexCoord[0].st);
    if (op == 10) {
        dc.rgb *= vec3(fGlobalColorRatio[0], fGlobalColorRatio[1], fGlobalColorRatio[2]);

        // Per-level colour lookup, kept switched off:
        // if (fGlobalColorRatio[3] > 1.0) {
        //     dc.r = stepColorRed[int(dc.r * 255.0)] / 255.0;
        //     dc.g = stepColorGreen[int(dc.g * 255.0)] / 255.0;
        //     dc.b = stepColorBlue[int(dc.b * 255.0)] / 255.0;
        // }
        // Rectangle edge blend over edgePos groups 1..9 against group 0,
        // kept switched off.

        float bx = gl_Color.r;
        float by = gl_Color.g;
        vec3 g = vec3(edgeParam[0], edgeParam[1], edgeParam[2]);
        dc.rgb *= pow(vec3(blendShape(bx) * blendShape(by)), g);
        gl_FragColor = dc;
        return;
    }
    if (op == 2) {
        gl_FragColor = vec4(procType[1], procType[2], procType[3], 1.0);
        return;
    }
    if (op == 3) {
        gl_FragColor = vec4(dc.rgb, transparent_value);
        return;
    }
    if (op == 11) {
        gl_FragColor = vec4(dc.r * fGlobalColorRatio[0], dc.g * fGlobalColorRatio[1],
                            dc.b * fGlobalColorRatio[2], dc.a);
        return;
    }
    gl_FragColor = dc;
}
