uniform sampler2D texScreen;
uniform float transparent_value;
uniform float procType[4];
uniform float fGlobalColorRatio[4];
uniform float stepColorRed[256];
uniform float stepColorGreen[256];
uniform float stepColorBlue[256];
uniform float edgeParam[3];
uniform float edgePos[40];

// Edge blend curve: symmetric about (0.5, 0.5) before the gamma g.
float blendCurve(float x, float g)
{
    const float p = 1.2;
    const float a = 0.5;
    if (x > 1.0)
        return 1.0;
    float f;
    if (x < 0.5)
        f = a * pow(2.0 * x, p);
    else
        f = 1.0 - (1.0 - a) * pow(2.0 * (1.0 - x), p);
    return pow(f, g);
}

void main()
{
    int op = int(procType[0]);
    vec4 dc;
    if (op == 2)
        dc = vec4(procType[1], procType[2], procType[3], 1.0);
    else
        dc = texture2D(texScreen, gl_TexCoord[0].st);

    if (op == 3) {
        gl_FragColor = vec4(dc.rgb, transparent_value);
        return;
    }
    if (op == 11) {
        gl_FragColor = vec4(dc.r * fGlobalColorRatio[0], dc.g * fGlobalColorRatio[1],
                            dc.b * fGlobalColorRatio[2], dc.a);
        return;
    }
    if (op == 10) {
        dc.r *= fGlobalColorRatio[0];
        dc.g *= fGlobalColorRatio[1];
        dc.b *= fGlobalColorRatio[2];

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
        dc.r *= blendCurve(bx, edgeParam[0]) * blendCurve(by, edgeParam[0]);
        dc.g *= blendCurve(bx, edgeParam[1]) * blendCurve(by, edgeParam[1]);
        dc.b *= blendCurve(bx, edgeParam[2]) * blendCurve(by, edgeParam[2]);
        gl_FragColor = dc;
        return;
    }
    gl_FragColor = dc;
}
