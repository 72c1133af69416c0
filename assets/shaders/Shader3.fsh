precision mediump float;
uniform sampler2D uSampler;
uniform vec4 uColor;
varying vec2 vTextureCoord;

void main() {
  gl_FragColor = texture2D(uSampler, vTextureCoord) * uColor;
}
