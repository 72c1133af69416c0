precision mediump float;
uniform sampler2D uSampler;
uniform vec3 uColor1;
uniform vec3 uColor2;
uniform vec3 uColor3;
uniform vec3 uReplaceColor1;
uniform vec3 uReplaceColor2;
uniform vec3 uReplaceColor3;
varying vec2 vTextureCoord;

// A texel matches a key colour when every component is within half an 8-bit step, so exact
// atlas colours are found despite the float conversion; the texel keeps its alpha.
const float Tolerance = 0.5 / 255.0 + 0.001;

bool Matches(vec3 texel, vec3 key) {
  vec3 d = abs(texel - key);
  return max(d.r, max(d.g, d.b)) <= Tolerance;
}

void main() {
  vec4 texel = texture2D(uSampler, vTextureCoord);
  vec3 rgb = texel.rgb;
  if (Matches(texel.rgb, uColor1)) {
    rgb = uReplaceColor1;
  } else if (Matches(texel.rgb, uColor2)) {
    rgb = uReplaceColor2;
  } else if (Matches(texel.rgb, uColor3)) {
    rgb = uReplaceColor3;
  }
  gl_FragColor = vec4(rgb, texel.a);
}
