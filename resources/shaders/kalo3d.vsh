// Places a vertex of the platform frame or of a model. Positions arrive in
// millimetres; "model" shrinks and places them in model space, where the
// fragment shader compares them with the build volume.
attribute vec3 vertex;
attribute vec3 aNormal;

uniform mat4 model;
uniform mat4 view;
uniform mat4 projection;
uniform int mType;

varying vec3 FragPos;
varying vec3 vNormal;

void main()
{
    FragPos = vec3(model * vec4(vertex, 1.0));
    // w = 0: the normal turns with the model but does not move with it.
    vNormal = vec3(model * vec4(aNormal, 0.0));
    gl_Position = projection * view * vec4(FragPos, 1.0);
}
