// Shared by the store pages of the reference service. Inside the client the
// page reaches the client's "QJsInterface" over the web channel; in a plain
// browser the buttons only say so.
"use strict";

var Orvane = (function () {
    var bridge = null;
    var waiting = [];

    // The client hands its transport to the page once the page is in
    // place, a moment after its scripts first run.
    var looking = true;
    (function waitForTransport(tries) {
        if (window.qt && qt.webChannelTransport && window.QWebChannel) {
            new QWebChannel(qt.webChannelTransport, function (channel) {
                bridge = channel.objects.QJsInterface || null;
                looking = false;
                var calls = waiting;
                waiting = [];
                calls.forEach(function (call) { call(); });
            });
        } else if (tries < 200) {
            setTimeout(function () { waitForTransport(tries + 1); }, 25);
        } else {
            looking = false;
            var calls = waiting;
            waiting = [];
            calls.forEach(function (call) { call(); });
        }
    })(0);

    function call(name, payload) {
        var text = typeof payload === "string" ? payload : JSON.stringify(payload);
        var run = function () {
            if (bridge && typeof bridge[name] === "function")
                bridge[name](text);
            else
                note("请在客户端中使用此功能。");
        };
        if (bridge || !looking)
            run();
        else
            waiting.push(run);
    }

    function param(name) {
        return new URLSearchParams(location.search).get(name) || "";
    }

    function note(text) {
        var box = document.getElementById("note");
        if (!box)
            return;
        box.textContent = text;
        box.classList.add("shown");
        clearTimeout(note.timer);
        note.timer = setTimeout(function () { box.classList.remove("shown"); }, 2500);
    }

    // The applications of this page from the service.
    function load(scope, done) {
        var query = "scope=" + encodeURIComponent(scope)
            + "&uid=" + encodeURIComponent(param("uid"))
            + "&cate_id=" + encodeURIComponent(param("cate_id"))
            + "&keywords=" + encodeURIComponent(param("keywords"));
        fetch("api/apps?" + query)
            .then(function (r) { return r.json(); })
            .then(function (answer) { done(answer.data || []); })
            .catch(function () { done(null); });
    }

    // One row: icon, name, description, and the buttons the caller adds.
    function row(app) {
        var li = document.createElement("li");
        li.className = "app";
        li.dataset.cate = app.cate_id;
        li.dataset.app = app.app_id;
        var icon = document.createElement("img");
        icon.src = app.icon;
        icon.alt = "";
        var text = document.createElement("div");
        text.className = "text";
        var name = document.createElement("div");
        name.className = "name";
        name.textContent = app.app_name;
        var desc = document.createElement("div");
        desc.className = "desc";
        desc.textContent = app.desc;
        text.appendChild(name);
        text.appendChild(desc);
        var actions = document.createElement("div");
        actions.className = "actions";
        li.appendChild(icon);
        li.appendChild(text);
        li.appendChild(actions);
        return li;
    }

    function button(label, kind, onClick) {
        var b = document.createElement("button");
        b.textContent = label;
        b.className = kind || "";
        b.addEventListener("click", onClick);
        return b;
    }

    // The request text the client reads: {"data": {...}}.
    function request(app) {
        var data = {};
        ["cate_id", "app_id", "app_name", "icon", "desc", "exec_path", "params", "sort", "type",
         "url", "is_remove", "nosign"].forEach(function (k) { data[k] = app[k] || ""; });
        return { data: data };
    }

    function find(cate, id) {
        return document.querySelector('li.app[data-cate="' + CSS.escape(String(cate))
                                      + '"][data-app="' + CSS.escape(String(id)) + '"]');
    }

    return { call: call, param: param, note: note, load: load, row: row, button: button,
             request: request, find: find };
})();
