// A deep-learning model's card: the images it takes, its inputs and outputs as
// tables of name, type and shape, its other keys and its metadata.
import { element, overlay, request, table } from './panel.mjs';

const panel = overlay('modelcard', 'model card');
let ticket = 0;

// A shape's dimensions, a symbolic one (-1) as "?": "? × 3 × 32 × 32"; a scalar "scalar".
const shapeText = (shape) => (shape.length ? shape.map((d) => (d < 0 ? '?' : String(d))).join(' × ') : 'scalar');

function showCard(file, card) {
    const name = card.keys.find((k) => k.key === 'graph_name')?.value;
    panel.title.textContent = `model ${name || file}`;
    const image = card.image;
    const takes = image && element('p', { id: 'model-images', textContent: `takes images of ${image.width < 0 ? 'any' : image.width} × `
        + `${image.height < 0 ? 'any' : image.height} pixels, ${image.channels < 0 ? 'any number of' : image.channels} channels, `
        + `${image.batch < 0 ? 'any number' : image.batch} at a time` });
    const tensors = (list) => list.map((t) => [t.name, t.type, shapeText(t.shape)]);
    panel.body.replaceChildren(...[
        takes,
        table('model-inputs', `inputs: ${card.inputs.length}`, ['name', 'type', 'shape'], tensors(card.inputs)),
        table('model-outputs', `outputs: ${card.outputs.length}`, ['name', 'type', 'shape'], tensors(card.outputs)),
        table('model-keys', 'keys', ['key', 'value'], card.keys.map((k) => [k.key, k.value])),
        card.meta.length && table('model-meta', 'metadata', ['key', 'value'], card.meta.map((k) => [k.key, k.value])),
    ].filter(Boolean));
}

document.addEventListener('ix:document', async ({ detail: doc }) => {
    const mine = ++ticket;
    panel.remove();
    if (doc?.kind !== 'dlmodel') return;
    try {
        const card = await request(`/api/modelcard?doc=${doc.id}`);
        if (mine !== ticket) return;
        showCard(doc.file, card);
        panel.open();
    } catch (error) {
        if (mine === ticket) panel.body.replaceChildren(element('p', { className: 'missing', textContent: error.message }));
    }
});
