#include "refservice/UserCenterPage.h"

namespace UserCenterPage {

std::string html()
{
    return R"HTML(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<title>个人中心</title>
<style>
body { margin: 0; font-family: "Microsoft YaHei", "WenQuanYi Micro Hei", sans-serif; color: #2b3445; background: #f6f8fb; }
header { display: flex; align-items: center; gap: 16px; padding: 18px 26px; color: #fff;
         background: linear-gradient(90deg, #3478f0, #14b3a6); }
header img { width: 56px; height: 56px; border-radius: 50%; border: 2px solid rgba(255,255,255,.85); background: #fff; }
header h1 { font-size: 18px; margin: 0; font-weight: 600; }
header p { margin: 4px 0 0; font-size: 12px; opacity: .9; }
header .grow { flex: 1; }
header button { padding: 6px 14px; border: 1px solid rgba(255,255,255,.8); border-radius: 14px;
                background: rgba(255,255,255,.15); color: #fff; font: inherit; font-size: 12px; cursor: pointer; }
header button:hover { background: rgba(255,255,255,.3); }
main { padding: 20px 26px; display: grid; grid-template-columns: repeat(3, 1fr); gap: 14px; }
a.card { display: block; padding: 16px; border-radius: 10px; background: #fff; border: 1px solid #e3e9f2;
         color: inherit; text-decoration: none; }
a.card:hover { border-color: #3478f0; box-shadow: 0 2px 8px rgba(52,120,240,.15); }
a.card b { display: block; font-size: 14px; margin-bottom: 6px; }
a.card span { font-size: 12px; color: #8a94a6; }
p.note { margin: 0 26px; font-size: 12px; color: #8a94a6; }
</style>
<script src="qrc:///qtwebchannel/qwebchannel.js"></script>
</head>
<body>
<header>
  <img id="avatar" alt="">
  <div class="grow"><h1>个人中心</h1><p>账号编号 <span id="uid"></span></p></div>
  <button id="refreshAvatar" type="button" hidden>刷新桌面头像</button>
</header>
<main>
  <a class="card" id="modifyPhone" href="modify_phone.html"><b>修改手机号</b><span>更换登录用的手机号码</span></a>
  <a class="card" id="myWallet" href="my_wallet.html"><b>我的钱包</b><span>余额、充值与账单</span></a>
  <a class="card" id="myPwd" href="my_pwd.html"><b>修改密码</b><span>定期更换，账号更安全</span></a>
</main>
<p class="note">以上页面会在浏览器中打开。</p>
<script>
// The client's bridge, once the web channel is up; null in a plain browser.
var bridge = null;
var query = location.search;
var uid = new URLSearchParams(query).get('uid') || '';
document.getElementById('uid').textContent = uid;
if (uid)
  document.getElementById('avatar').src = '../images/avatar/' + encodeURIComponent(uid) + '.png';

document.querySelectorAll('a.card').forEach(function (link) {
  link.href = new URL(link.getAttribute('href') + query, location.href).href;
  link.addEventListener('click', function (event) {
    if (!bridge)
      return;
    event.preventDefault();
    bridge.openHtml(link.href);
  });
});

document.getElementById('refreshAvatar').addEventListener('click', function () {
  if (bridge)
    bridge.upImage(JSON.stringify({ uid: uid }));
});

// The client hands over its transport once the page is in place.
(function waitForTransport(tries) {
  if (window.qt && qt.webChannelTransport && typeof QWebChannel !== 'undefined') {
    new QWebChannel(qt.webChannelTransport, function (channel) {
      bridge = channel.objects.QJsInterface || null;
      document.getElementById('refreshAvatar').hidden = !bridge;
      document.body.dataset.bridge = bridge ? 'ready' : 'none';
    });
  } else if (tries < 200) {
    setTimeout(function () { waitForTransport(tries + 1); }, 25);
  }
})(0);
</script>
</body>
</html>
)HTML";
}

} // namespace UserCenterPage
