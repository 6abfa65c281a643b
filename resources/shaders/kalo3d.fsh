// Lights a model with one light (ambient and diffuse, no specular; a zero
// normal counts as facing the light), shows faces of a normal model lying on
// the plate green and anything outside the build volume in diagonal stripes,
// every other one with its red channel full and the others dark, so that it
// stands apart from the plain red of new supports and base plates. Above
// each island or overhang the print check marked (a disc from its height
// up) a model is amber. The platform frame (mType 100) keeps its flat colour.
#ifdef GL_ES
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
#endif

uniform vec3 lightPos;
uniform vec3 lightColor;
uniform vec3 objectColor;
uniform vec3 volume;
uniform int mType;
// x, y, z of a mark's lowest point and its radius, in model space.
uniform vec4 marks[8];
uniform int markCount;

varying vec3 FragPos;
varying vec3 vNormal;

void main()
{
    if (mType == 100) {
        gl_FragColor = vec4(objectColor, 1.0);
        return;
    }

    vec3 ambient = 0.2 * lightColor;
    vec3 lightDir = normalize(lightPos - FragPos);
    // Support columns carry zero normals: they are shown fully lit.
    vec3 norm = length(vNormal) > 0.0 ? normalize(vNormal) : lightDir;
    vec3 diffuse = max(dot(norm, lightDir), 0.0) * lightColor;
    vec4 colour = vec4((ambient + diffuse) * objectColor, 1.0);

    for (int i = 0; i < 8; ++i) {
        if (i >= markCount)
            break;
        if (FragPos.z >= marks[i].z && distance(FragPos.xy, marks[i].xy) <= marks[i].w) {
            colour.rgb = (ambient + diffuse) * vec3(235.0, 150.0, 30.0) / 255.0;
            break;
        }
    }

    if (mType == 0 && FragPos.z == 0.0)
        colour.rgb = vec3(0.0, 153.0 / 255.0, 0.0);

    if (FragPos.x > volume.x / 2.0 || FragPos.y > volume.y / 2.0 || FragPos.z > volume.z
        || -FragPos.x > volume.x / 2.0 || -FragPos.y > volume.y / 2.0 || FragPos.z < 0.0) {
        // Stripes 6 pixels wide across the window, whatever the model's size on screen.
        if (mod(floor((gl_FragCoord.x + gl_FragCoord.y) / 6.0), 2.0) < 0.5)
            colour.r = 1.0;
        else
            colour.rgb *= 0.35;
    }

    gl_FragColor = colour;
}
